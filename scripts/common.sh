# Shared by the scripts: where things are, building, and running under Wine. A script below
# scripts/ sources it directly; one elsewhere sets root first.
root=${root:-$(cd "$(dirname "$0")/.." && pwd)}
build="$root/build"

# The environment of every Wine run of the project: the prefix (a folder), Wine quiet, and no
# offer to install Wine's .NET and HTML engines, which nothing here needs. (The tests get the
# same from torvane_wine_environment in tests/CMakeLists.txt.)
wine_environment() {
    export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# wine_path PATH: the Windows path under which Wine's programs see the Unix path PATH (drive Z: is
# the Unix root).
wine_path() {
    printf 'Z:%s' "$1" | tr / '\\'
}

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

# For a script that runs the built programs under Wine: installs and builds as the test command
# does, boots the 64-bit prefix, stops its server when the script ends, and sets the
# environment for it.
prepare_wine_run() {
    sh "$root/scripts/install-deps.sh" >/dev/null
    configure_and_build >/dev/null
    boot_prefix win64 >/dev/null
    trap 'stop_prefix win64' EXIT
    wine_environment "$build/wine/win64"
}

# The version the build gave the deliverables; the release folder is build/release/Torvane-<it>.
release_version() {
    sed -n 's/^#define TORVANE_VERSION_STRING "\(.*\)"/\1/p' "$build/generated/Version.h"
}
