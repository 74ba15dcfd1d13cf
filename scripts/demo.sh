#!/bin/sh
# Installs the toolchain and Wine, builds, and runs Torvane on the bundled sample setup folder
# (samples/setup) in a temporary program folder, telling what each run did.
set -eu
. "$(dirname "$0")/common.sh"
prepare_wine_run

# The program folder: the sample setup folder with Torvane.exe beside its files.
program="$build/demo/program"
rm -rf "$program"
mkdir -p "$program"
cp -r "$root/samples/setup/." "$program/"
cp "$build/bin/Torvane.exe" "$program/"
program_dos=$(wine_path "$program")

# torvane ARGS...: runs Torvane.exe from the program folder as an installer would.
torvane() {
    echo "  > Torvane.exe $*"
    set +e
    wine "$program_dos\\Torvane.exe" "$@"
    status=$?
    set -e
    [ "$status" = 255 ] && status=-1
    echo "  exit status $status"
}

# service_state NAME: the service's state as the service control manager reports it.
service_state() {
    wine sc query "$1" 2>/dev/null | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}

wait_for_state() {
    i=0
    while [ "$(service_state "$1")" != "$2" ] && [ $i -lt 100 ]; do
        sleep 0.1
        i=$((i + 1))
    done
}

echo "Program folder: $program"
for part in "$root"/scripts/demo.d/*.sh; do
    echo
    . "$part"
done
