#!/bin/sh
# Installs and builds as the test command does, then runs every benchmark under Wine and prints
# its figures. Benchmarks are the pieces in scripts/bench.d; each may run programs built as
# build/bin/bench_*.exe. Run one alone by naming it: sh scripts/bench.sh registry-delete
set -eu
. "$(dirname "$0")/common.sh"
prepare_wine_run
bin_dos=$(wine_path "$build/bin")
work="$build/bench"
mkdir -p "$work"

for piece in "$root"/scripts/bench.d/*.sh; do
    [ -e "$piece" ] || continue
    name=$(basename "$piece" .sh)
    name=${name#[0-9][0-9]-}
    if [ $# -gt 0 ] && [ "$1" != "$name" ]; then
        continue
    fi
    echo "== $name"
    . "$piece"
    echo
done
