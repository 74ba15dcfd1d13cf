#!/bin/sh
# Installs the toolchain and Wine, builds everything, runs every test under Wine, packages the
# release from that build and checks its sums, builds the release again in a clean clone and
# checks that it is byte for byte the same, checks that every mutation of scripts/mutate.sh still
# applies, then runs the native sanitizer tests of the text readers and each fuzz target
# for a bounded time (FUZZ_SECONDS per target, default 60).
set -eu
. "$(dirname "$0")/common.sh"
sh "$root/scripts/install-deps.sh"
configure_and_build
cd "$root"
cat "$build/tests/worst-case.txt"
ctest --preset default
sh "$root/scripts/release.sh" --no-build
(cd "$build/release/Torvane-$(release_version)" && sha256sum --quiet -c SHA256SUMS)
echo "release sums check"
sh "$root/scripts/reproduce.sh"
MUTATE_CHECK=1 sh "$root/scripts/mutate.sh"
sh "$root/scripts/fuzz.sh" "${FUZZ_SECONDS:-60}"
