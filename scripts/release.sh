#!/bin/sh
# release.sh [--no-build]
# Builds the deliverables and lays out the release: build/release/Torvane-<version>/ and a zip of
# it, holding Torvane.exe, Kestrix.dll, x64/Kestrix.dll, the caller header, import libraries for
# MinGW (.a) and MSVC (.lib) linkers made from the export definitions, the README, the reference
# documents, the example installers' sources, the license, RELEASE-NOTES.txt and SHA-256 sums of
# every file.
#
# --no-build  package what the last build left in build/bin (CI runs the tests' build first)
#
# Two builds of one commit give the same bytes, wherever they are made: the binaries hold no
# build folder and no link time, the import libraries are made from within their folder (the
# tools name their symbols after the path they are given), and the zip holds its entries in name
# order, with the commit's time and fixed permissions and nothing else. RELEASE-NOTES.txt names
# the commit, the toolchain and the commands that rebuild the release and compare it
# (scripts/reproduce.sh).
#
# The binaries are signed with Authenticode when a certificate is given (TORVANE_SIGN_PFX,
# TORVANE_SIGN_PASSWORD and TORVANE_SIGN_TIMESTAMP_URL, which a certificate requires; see
# scripts/sign.sh). The release notes then list what was signed, with which digest, and each
# signed file's SHA-256 before signing, which an unsigned rebuild reproduces. Without a
# certificate the release is unsigned and says so.
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
commit=$(git -C "$root" rev-parse HEAD 2>/dev/null || echo "unknown")
epoch=$(git -C "$root" log -1 --format=%ct HEAD 2>/dev/null || echo 315532800)
signed="$build/release/signed.txt"
: >"$signed"

# Copies built binaries into a folder of the release, signs them, and checks that each carries
# the release's version.   ship <to folder> <built file>...
ship() {
    to=$1
    shift
    mkdir -p "$to"
    for file in "$@"; do
        shipped="$to/$(basename "$file")"
        cp "$file" "$shipped"
        unsigned=$(sha256sum <"$shipped" | cut -d' ' -f1)
        result=$(sh "$root/scripts/sign.sh" "$shipped")
        case "$result" in
        signed:*) echo "  ${shipped#"$out/"}  unsigned SHA-256 $unsigned" >>"$signed" ;;
        esac
        strings -el "$shipped" | grep -qxF "$version" || {
            echo "$shipped does not carry version $version" >&2
            exit 1
        }
    done
}

# dlltool names an import library's symbols after the output path it is given: each library is
# made from within its folder, under its bare name.   in_folder <folder> <command>...
in_folder() {
    (cd "$1" && shift && "$@")
}

# The binaries: Torvane.exe and Kestrix.dll (32-bit), and x64/Kestrix.dll for 64-bit processes.
ship "$out" "$build/bin/Torvane.exe" "$build/bin/Kestrix.dll"
ship "$out/x64" "$build/bin/x64/Kestrix.dll"

# The import libraries of each Kestrix.dll: for MinGW (lib/mingw, dlltool) and for MSVC
# (lib/msvc, llvm-dlltool: the short import format link.exe reads), the 64-bit ones in x64/.
# The 32-bit ones map the decorated stdcall names callers compile against to the plain exports
# (-k). x86-64 has no name decoration: its libraries come from the export list the x64 build
# derives from Kestrix.def (the same names and ordinals without the @N suffixes).
for arch in x86 x64; do
    case $arch in
    x86) sub="" def="$root/kestrix/Kestrix.def" gnu=i686 machine=i386 kill=-k ;;
    x64) sub=/x64 def="$build/x64/kestrix/Kestrix.def" gnu=x86_64 machine=i386:x86-64 kill="" ;;
    esac
    mkdir -p "$out/lib/mingw$sub" "$out/lib/msvc$sub"
    in_folder "$out/lib/mingw$sub" "$gnu-w64-mingw32-dlltool" $kill --input-def "$def" \
        --dllname Kestrix.dll --output-lib libKestrix.a
    in_folder "$out/lib/msvc$sub" llvm-dlltool -m "$machine" $kill -d "$def" -D Kestrix.dll \
        -l Kestrix.lib
done

cp "$root/kestrix/Kestrix.h" "$out/include/"
cp "$root/README.md" "$root/LICENSE" "$out/"
cp "$root"/docs/*.md "$out/docs/"
cp "$root"/installer/* "$out/docs/"

# The release notes: what the release is made of and how to make it again.
{
    echo "Torvane $version"
    echo
    echo "Commit: $commit"
    echo "Commit time: $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC') (the time of the zip's entries)"
    echo
    echo "Toolchain (Debian packages):"
    dpkg-query -W -f '  ${Package} ${Version}\n' g++-mingw-w64-i686-posix \
        g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
        mingw-w64-i686-dev mingw-w64-x86-64-dev llvm cmake ninja-build zip 2>/dev/null ||
        i686-w64-mingw32-g++-posix --version | sed -n '1s/^/  /p'
    echo
    if [ -s "$signed" ]; then
        echo "Signed with Authenticode, SHA-256 digest, RFC 3161 time stamp from"
        echo "$TORVANE_SIGN_TIMESTAMP_URL (osslsigncode verify -in <file> shows the signer):"
        cat "$signed"
    else
        echo "Unsigned: no certificate was given."
    fi
    echo
    echo "Rebuild and compare, on Debian 12 with the toolchain above (scripts/install-deps.sh):"
    echo "  git clone <repository> torvane && cd torvane && git checkout $commit"
    echo "  sh scripts/install-deps.sh"
    echo "  sh scripts/reproduce.sh <this release, unpacked>"
    echo "reproduce.sh builds the release in a clean clone of its own and compares it with this one"
    echo "file by file (SHA256SUMS; a signed file by its SHA-256 before signing, listed above)."
} >"$out/RELEASE-NOTES.txt"
rm -f "$signed"

(cd "$out" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort |
    xargs sha256sum >SHA256SUMS)
# The zip: entries in name order, no directory entries, the commit's time, fixed permissions,
# and no extra fields (owner, other time stamps).
find "$out" -type d -exec chmod 755 {} +
find "$out" -type f -exec chmod 644 {} +
find "$out" -exec touch -h -d "@$epoch" {} +
(cd "$build/release" && find "$name" -type f | LC_ALL=C sort |
    TZ=UTC zip -q -X -D "$name.zip" -@)

echo "release: $build/release/$name.zip"
(cd "$out" && find . -type f | LC_ALL=C sort)
