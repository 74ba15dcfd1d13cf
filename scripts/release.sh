#!/bin/sh
# Builds the deliverables and lays out the release: build/release/Torvane-<version>/ and a zip of
# it, holding Torvane.exe, Kestrix.dll, the caller header, import libraries for MinGW (.a) and
# MSVC (.lib) linkers made from the export definitions, the README, the reference documents, the
# license and SHA-256 sums of every file.
set -eu
. "$(dirname "$0")/common.sh"
sh "$root/scripts/install-deps.sh" >/dev/null
configure_and_build >/dev/null

version=$(sed -n 's/^#define TORVANE_VERSION_STRING "\(.*\)"/\1/p' "$build/generated/Version.h")
name="Torvane-$version"
out="$build/release/$name"
rm -rf "$out" "$build/release/$name.zip"
mkdir -p "$out/lib/mingw" "$out/lib/msvc" "$out/include" "$out/docs"

cp "$build/bin/Torvane.exe" "$build/bin/Kestrix.dll" "$out/"
cp "$root/kestrix/Kestrix.h" "$out/include/"
# MinGW: maps the decorated stdcall names callers compile against to the plain exports.
i686-w64-mingw32-dlltool --kill-at --input-def "$root/kestrix/Kestrix.def" \
    --dllname Kestrix.dll --output-lib "$out/lib/mingw/libKestrix.a"
# MSVC: the short import format link.exe reads, with the same mapping.
llvm-dlltool -m i386 -k -d "$root/kestrix/Kestrix.def" -D Kestrix.dll -l "$out/lib/msvc/Kestrix.lib"

# --- Kestrix.dll for 64-bit processes: x64/Kestrix.dll, lib/mingw/x64, lib/msvc/x64 ---
# x86-64 has no name decoration: both import libraries come from the export list the x64 build
# derives from Kestrix.def (the same names and ordinals without the @N suffixes).
x64_def="$build/x64/kestrix/Kestrix.def"
mkdir -p "$out/x64" "$out/lib/mingw/x64" "$out/lib/msvc/x64"
cp "$build/bin/x64/Kestrix.dll" "$out/x64/"
x86_64-w64-mingw32-dlltool --input-def "$x64_def" --dllname Kestrix.dll \
    --output-lib "$out/lib/mingw/x64/libKestrix.a"
llvm-dlltool -m i386:x86-64 -d "$x64_def" -D Kestrix.dll -l "$out/lib/msvc/x64/Kestrix.lib"
strings -el "$out/x64/Kestrix.dll" | grep -qx "$version" || {
    echo "x64/Kestrix.dll does not carry version $version" >&2
    exit 1
}
# --- end of the 64-bit Kestrix.dll ---
cp "$root/README.md" "$root/LICENSE" "$out/"
cp "$root"/docs/*.md "$out/docs/"
cp "$root/installer/ScannerSetup.nsi" "$out/docs/"

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
(cd "$build/release" && cmake -E tar cf "$name.zip" --format=zip "$name")

# Both binaries carry the release's version.
for binary in Torvane.exe Kestrix.dll; do
    strings -el "$out/$binary" | grep -qx "$version" || {
        echo "$binary does not carry version $version" >&2
        exit 1
    }
done
echo "release: $build/release/$name.zip"
(cd "$out" && find . -type f | sort)
