#!/bin/sh
# Builds the native readers with sanitizers, runs their unit tests, then runs every fuzz target
# for a bounded time (seconds per target, default 60). Findings are written to
# build-native/findings; keep each one as a regression case in tests/fuzz/corpus/<target>.
set -eu
. "$(dirname "$0")/common.sh"
seconds=${1:-60}
cd "$root"
cmake --preset native >/dev/null
cmake --build --preset native >/dev/null
ctest --preset native
# Findings of earlier runs are not this run's: each run judges only what it finds itself.
rm -rf "$root/build-native/findings"
mkdir -p "$root/build-native/findings"
for target in "$root"/build-native/tests/native/fuzz_*; do
    name=$(basename "$target")
    name=${name#fuzz_}
    corpus="$root/build-native/corpus/$name"
    mkdir -p "$corpus"
    cp -r "$root/tests/fuzz/corpus/$name/." "$corpus/" 2>/dev/null || true
    dict=""
    [ -f "$root/tests/fuzz/$name.dict" ] && dict="-dict=$root/tests/fuzz/$name.dict"
    echo "== fuzz $name for ${seconds}s"
    "$target" $dict -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$root/build-native/findings/$name-" "$corpus" 2>&1 |
        grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY|Test unit written' || true
    if ls "$root/build-native/findings/$name-"* >/dev/null 2>&1; then
        echo "fuzz target $name found a failing input" >&2
        exit 1
    fi
done
