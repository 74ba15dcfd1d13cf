#!/bin/sh
# check-installer-sources.sh <source root>
# What no test can run here, checked against the product: every Torvane command word in the
# installers is a row of the dispatch table (in any letter case, as Torvane compares), every
# Kestrix function they name is an export, and every fragment docs/installers.md quotes from an
# installer (between "installers.md quotes from here" and "... up to here") is the file's text.
set -eu
root=$1 failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
commands=$(sed -n 's/^ *{"\([A-Za-z_]*\)", .*/\1/p' "$root/setup/Dispatch.cpp")
exports=$(sed -n 's/^ *\([A-Za-z_]*\)@[0-9]* *@[0-9]*$/\1/p' "$root/kestrix/Kestrix.def")
[ "$(echo "$commands" | wc -l)" -eq 10 ] && [ "$(echo "$exports" | wc -l)" -eq 4 ] ||
    fail "dispatch table or export definitions not found"

# Between a file's markers, indented by four blanks as in the document's code blocks.
quoted() { awk '/installers.md quotes up to here/ { q = 0 } q { print ($0 == "" ? "" : "    " $0) }
                /installers.md quotes from here/ { q = 1 }' "$1"; }

for file in ScannerSetup.nsi ScannerSetup.wxs ScannerSetup.iss; do
    path="$root/installer/$file"
    # NSIS macro calls (not the macros' own lines), WiX ExeCommand, Inno [Code] calls.
    words=$(sed -n -e 's/.*!insertmacro Torvane[A-Za-z]* "\([^ "$]*\).*/\1/p' \
        -e 's/.*ExeCommand="\([^ "]*\).*/\1/p' -e "s/.*RunTorvane('\([^ ']*\).*/\1/p" "$path")
    names=$(sed -n -e "s/.*external '\([A-Za-z_]*\)@.*Kestrix\.dll.*/\1/p" \
        -e 's/.*Kestrix::\([A-Za-z_]*\)(.*/\1/p' "$path")
    [ -n "$words" ] || fail "$file: no Torvane command line found"
    for word in $words; do echo "$commands" | grep -qixF "$word" || fail "$file: no command $word"; done
    for name in $names; do echo "$exports" | grep -qxF "$name" || fail "$file: no export $name"; done
    # The quoted lines must follow each other in the document.
    fragment=$(quoted "$path")
    [ -n "$fragment" ] || fail "$file: no quoted fragment"
    want="$fragment" awk 'BEGIN { n = split(ENVIRON["want"], w, "\n") } { d[++m] = $0 }
        END { for (i = 0; i + n <= m; i++) { for (j = 1; j <= n && d[i + j] == w[j]; j++) {}
                                             if (j > n) exit 0 }
              exit 1 }' "$root/docs/installers.md" ||
        fail "docs/installers.md does not quote $file as it stands"
    echo "$file: $(echo $words | wc -w) command lines, $(echo $names | wc -w) Kestrix calls," \
        "$(printf "%s\n" "$fragment" | wc -l) quoted lines"
done
[ "$failed" -eq 0 ] && echo "installer sources agree with the product and the document"
