#!/bin/sh
# check-installer-sources.sh <source root>
# Checks the installer sources against the product, for what no test can run here:
# - every Torvane command word in installer/ (NSIS, WiX, Inno Setup) is a row of the dispatch
#   table, compared in any letter case as Torvane compares them;
# - every Kestrix export those installers name is in the DLL's export definitions;
# - each fragment docs/installers.md quotes from an installer (the lines between the markers
#   "installers.md quotes from here" and "installers.md quotes up to here") stands in the
#   document verbatim, as a code block indented by four blanks.
set -eu
root=$1
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

commands=$(sed -n 's/^ *{"\([A-Za-z_]*\)", .*/\1/p' "$root/setup/Dispatch.cpp")
exports=$(sed -n 's/^ *\([A-Za-z_]*\)@[0-9]* *@[0-9]*$/\1/p' "$root/kestrix/Kestrix.def")
[ "$(echo "$commands" | wc -l)" -ge 10 ] || fail "dispatch table not found in setup/Dispatch.cpp"
[ "$(echo "$exports" | wc -l)" -eq 4 ] || fail "exports not found in kestrix/Kestrix.def"

# Command lines: NSIS macro calls, WiX ExeCommand attributes, Inno [UninstallRun] parameters
# and [Code] calls. Each file must yield some.
for file in ScannerSetup.nsi ScannerSetup.wxs ScannerSetup.iss; do
    words=$(sed -n \
        -e 's/.*!insertmacro Torvane "\([^ "]*\).*/\1/p' \
        -e 's/.*ExeCommand="\([^ "]*\).*/\1/p' \
        -e 's/.*Torvane\.exe"; Parameters: "\([^ "]*\).*/\1/p' \
        -e "s/^ *Torvane('\([^ ']*\).*/\1/p" \
        "$root/installer/$file")
    [ -n "$words" ] || fail "$file: no Torvane command line found"
    for word in $words; do
        echo "$commands" | grep -qixF "$word" || fail "$file: no command \"$word\""
    done
    names=$(sed -n -e "s/.*external '\([A-Za-z_]*\)@.*Kestrix\.dll.*/\1/p" \
        -e 's/.*Kestrix::\([A-Za-z_]*\)(.*/\1/p' "$root/installer/$file")
    for name in $names; do
        echo "$exports" | grep -qxF "$name" || fail "$file: Kestrix has no export \"$name\""
    done
    echo "$file: $(echo $words | wc -w) command lines, $(echo $names | wc -w) Kestrix calls"
done

# Quoted fragments.
doc="$root/docs/installers.md"
grep -q "installers.md quotes from here" "$root/installer/ScannerSetup.wxs" ||
    fail "ScannerSetup.wxs: the fragment docs/installers.md quotes is not marked"
for file in "$root"/installer/*; do
    grep -q "installers.md quotes from here" "$file" || continue
    fragment=$(awk '/installers.md quotes up to here/ { inside = 0 }
                    inside { print ($0 == "" ? "" : "    " $0) }
                    /installers.md quotes from here/ { inside = 1 }' "$file")
    [ -n "$fragment" ] || fail "$file: empty quoted fragment"
    # The fragment's lines must follow each other in the document.
    printf '%s\n' "$fragment" >"${TMPDIR:-/tmp}/fragment.$$"
    awk -v fragment="${TMPDIR:-/tmp}/fragment.$$" '
        BEGIN { while ((getline line < fragment) > 0) want[n++] = line }
        { doc[m++] = $0 }
        END {
            for (i = 0; i + n <= m; i++) {
                for (j = 0; j < n && doc[i + j] == want[j]; j++) {}
                if (j == n) exit 0
            }
            exit 1
        }' "$doc" &&
        echo "$(basename "$file"): quoted fragment of $(printf '%s\n' "$fragment" | wc -l) lines found" ||
        fail "docs/installers.md does not quote $(basename "$file")'s fragment as it stands"
    rm -f "${TMPDIR:-/tmp}/fragment.$$"
done

[ "$failures" -eq 0 ] || exit 1
echo "installer sources agree with the product and the document"
