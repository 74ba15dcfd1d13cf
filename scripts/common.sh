# Shared by the scripts: where things are, and building.
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

configure_and_build() {
    cmake --preset default >/dev/null
    cmake --build --preset default
}

# Boots the 64-bit Wine prefix the tests also use, with its server kept running.
boot_prefix() {
    sh "$root/tests/wine/prefix.sh" boot "$build/wine/$1" "$1"
}

stop_prefix() {
    sh "$root/tests/wine/prefix.sh" stop "$build/wine/$1" "$1" >/dev/null
}

# The version the build gave the deliverables; the release folder is build/release/Torvane-<it>.
release_version() {
    sed -n 's/^#define TORVANE_VERSION_STRING "\(.*\)"/\1/p' "$build/generated/Version.h"
}
