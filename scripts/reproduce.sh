#!/bin/sh
# reproduce.sh [<release folder>]
# Builds the release of the current commit a second time, in a clean clone in a folder of its own
# (nothing taken from this tree's build), with the same toolchain, and compares the two byte for
# byte. The first release is this tree's build/release/Torvane-<version> (scripts/release.sh
# makes it; CI runs this right after it), or the release folder given, for instance a published
# release unpacked.
#
# Compared: every file SHA256SUMS lists, a file the release notes list as signed by its SHA-256
# before signing (the rebuild is unsigned) and the notes themselves only when nothing was signed;
# SHA256SUMS and the zip when nothing was signed. Against this tree's release also the example
# installers whose tools make them alike: both NSIS builds (SetDateSave off) and the Inno Setup
# installer, compiled from each tree under Wine. The Windows Installer package is not compared:
# wixl writes a new random package code and the time of the build into its summary information.
# Exit status 0 when everything compared is identical; the clone is kept when something differs.
set -eu
. "$(dirname "$0")/common.sh"
commit=$(git -C "$root" rev-parse HEAD)
[ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] || {
    echo "the tree has uncommitted changes: a clone of $commit would build other sources" >&2
    exit 1
}
version=$(release_version)
reference=${1:-$build/release/Torvane-$version}
[ -f "$reference/SHA256SUMS" ] || {
    echo "no release at $reference (scripts/release.sh makes one)" >&2
    exit 1
}

started=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-rebuild.XXXXXX")
clone="$work/source"
git clone --quiet --no-local "$root" "$clone"
git -C "$clone" checkout --quiet --detach "$commit"
echo "rebuilding $commit in $clone"
(cd "$clone" && cmake --preset default >/dev/null &&
    cmake --build --preset default --target Torvane Kestrix kestrix_x64 \
        scanner_setup_installers >/dev/null)
(cd "$clone" && env -u TORVANE_SIGN_PFX sh scripts/release.sh --no-build >/dev/null)
rebuilt="$clone/build/release/Torvane-$version"
[ -f "$rebuilt/SHA256SUMS" ] || {
    echo "the rebuild made no release Torvane-$version" >&2
    exit 1
}

failed=0
check() { # <name> <command that succeeds when the two are identical>...
    name=$1
    shift
    if "$@"; then
        echo "identical  $name"
    else
        echo "DIFFERENT  $name"
        failed=1
    fi
}
signed=$(grep -c ' unsigned SHA-256 ' "$reference/RELEASE-NOTES.txt" || true)
while read -r sum file; do
    before=$(sed -n "s|^  $file  unsigned SHA-256 \([0-9a-f]*\)\$|\1|p" \
        "$reference/RELEASE-NOTES.txt")
    if [ "$file" = RELEASE-NOTES.txt ] && [ "$signed" -gt 0 ]; then
        echo "not compared: RELEASE-NOTES.txt (it names the signing)"
        continue
    fi
    rebuilt_sum=$(sha256sum <"$rebuilt/$file" 2>/dev/null | cut -d' ' -f1 || true)
    check "$file${before:+ (before signing)}" [ "$rebuilt_sum" = "${before:-$sum}" ]
done <"$reference/SHA256SUMS"
check "the list of files" [ "$(wc -l <"$reference/SHA256SUMS")" -eq \
    "$(wc -l <"$rebuilt/SHA256SUMS")" ]
if [ "$signed" -eq 0 ]; then
    check SHA256SUMS cmp -s "$reference/SHA256SUMS" "$rebuilt/SHA256SUMS"
    if [ -f "$reference.zip" ]; then
        check "Torvane-$version.zip" cmp -s "$reference.zip" "$rebuilt.zip"
    fi
fi

if [ $# -eq 0 ]; then
    for installer in ScannerSetup.exe ScannerSetupUnicode.exe; do
        check "$installer (NSIS)" cmp -s "$build/bin/$installer" "$clone/build/bin/$installer"
    done
    inno=$(sed -n 's/^INNO_SETUP_DIR:PATH=//p' "$build/CMakeCache.txt")
    boot_prefix win64 >/dev/null
    for tree in "$root" "$clone"; do
        WINEPREFIX="$build/wine/win64" sh "$tree/tests/installer/compile-inno.sh" "$inno" \
            "$tree" "$tree/build/bin" "${version%%+*}" >/dev/null
    done
    stop_prefix win64
    check "ScannerSetupInno.exe (Inno Setup)" cmp -s "$build/bin/ScannerSetupInno.exe" \
        "$clone/build/bin/ScannerSetupInno.exe"
    echo "not compared: ScannerSetup.msi (wixl writes a random package code and the build time)"
fi

echo "rebuilt and compared in $(($(date +%s) - started)) s"
if [ "$failed" -ne 0 ]; then
    echo "the rebuild differs; it is kept in $clone" >&2
    exit 1
fi
rm -rf "$work"
echo "the rebuild of $commit is identical"
