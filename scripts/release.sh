#!/bin/sh
# release.sh [--no-build]
# Builds the deliverables and lays out the release: build/release/Torvane-<version>/ and a zip of
# it, holding Torvane.exe, Kestrix.dll, x64/Kestrix.dll, the caller header, import libraries for
# MinGW (.a) and MSVC (.lib) linkers made from the export definitions, the README, the reference
# documents, the example installers, the license and SHA-256 sums of every file.
#
# --no-build  package what the last build left in build/bin (CI runs the tests' build first)
#
# The binaries are signed with Authenticode when a certificate is given (TORVANE_SIGN_PFX,
# TORVANE_SIGN_PASSWORD, optional TORVANE_SIGN_TIMESTAMP_URL; see scripts/sign.sh); without
# one the release is built unsigned and says so.
set -eu
. "$(dirname "$0")/common.sh"
if [ "${1:-}" != "--no-build" ]; then
    sh "$root/scripts/install-deps.sh" >/dev/null
    configure_and_build >/dev/null
fi

version=$(release_version)
name="Torvane-$version"
out="$build/release/$name"
rm -rf "$out" "$build/release/$name.zip"
mkdir -p "$out/lib/mingw" "$out/lib/msvc" "$out/include" "$out/docs"

# Copies built binaries into a folder of the release, signs them, and checks that each carries
# the release's version.   ship <to folder> <built file>...
ship() {
    to=$1
    shift
    mkdir -p "$to"
    for file in "$@"; do
        shipped="$to/$(basename "$file")"
        cp "$file" "$shipped"
        sh "$root/scripts/sign.sh" "$shipped"
        strings -el "$shipped" | grep -qx "$version" || {
            echo "$shipped does not carry version $version" >&2
            exit 1
        }
    done
}

# --- 32-bit: Torvane.exe, Kestrix.dll, lib/mingw, lib/msvc ---
ship "$out" "$build/bin/Torvane.exe" "$build/bin/Kestrix.dll"
# MinGW: maps the decorated stdcall names callers compile against to the plain exports.
i686-w64-mingw32-dlltool --kill-at --input-def "$root/kestrix/Kestrix.def" \
    --dllname Kestrix.dll --output-lib "$out/lib/mingw/libKestrix.a"
# MSVC: the short import format link.exe reads, with the same mapping.
llvm-dlltool -m i386 -k -d "$root/kestrix/Kestrix.def" -D Kestrix.dll -l "$out/lib/msvc/Kestrix.lib"

# --- Kestrix.dll for 64-bit processes: x64/Kestrix.dll, lib/mingw/x64, lib/msvc/x64 ---
# x86-64 has no name decoration: both import libraries come from the export list the x64 build
# derives from Kestrix.def (the same names and ordinals without the @N suffixes).
x64_def="$build/x64/kestrix/Kestrix.def"
mkdir -p "$out/lib/mingw/x64" "$out/lib/msvc/x64"
ship "$out/x64" "$build/bin/x64/Kestrix.dll"
x86_64-w64-mingw32-dlltool --input-def "$x64_def" --dllname Kestrix.dll \
    --output-lib "$out/lib/mingw/x64/libKestrix.a"
llvm-dlltool -m i386:x86-64 -d "$x64_def" -D Kestrix.dll -l "$out/lib/msvc/x64/Kestrix.lib"
# --- end of the 64-bit Kestrix.dll ---

cp "$root/kestrix/Kestrix.h" "$out/include/"
cp "$root/README.md" "$root/LICENSE" "$out/"
cp "$root"/docs/*.md "$out/docs/"
cp "$root"/installer/* "$out/docs/"

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
(cd "$build/release" && cmake -E tar cf "$name.zip" --format=zip "$name")

echo "release: $build/release/$name.zip"
(cd "$out" && find . -type f | sort)
