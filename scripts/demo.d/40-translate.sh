# TRANSLATEPATH and TRANSLATESCANADVANCE on the sample files, each shown before and after.

# show FILE: the file's lines, without their CR.
show() {
    tr -d '\r' <"$program/$1" | sed 's/^/    | /'
    echo
}

echo "== TRANSLATEPATH: a registry script with \"[WINDIR]\" values (Setup.reg)"
echo "  before:"
show Setup.reg
torvane TRANSLATEPATH Setup.reg
echo "  after: the header and comment are gone, sections and values come in the tree's"
echo "  order (newest first), the repeated section is merged, the continued hex value is"
echo "  one line, and \"[WINDIR]\" values hold the short Windows folder:"
show Setup.reg

echo "== TRANSLATEPATH on a file that is not there: nothing is created"
torvane TRANSLATEPATH Missing.reg
[ -e "$program/Missing.reg" ] && echo "  Missing.reg exists" || echo "  Missing.reg does not exist"

echo
echo "== TRANSLATESCANADVANCE: a scan-settings file (ScanAdvance.ini)"
echo "  before:"
show ScanAdvance.ini
torvane TRANSLATESCANADVANCE ScanAdvance.ini
echo "  after: each \"[WINDIR]\" value written through the platform's profile writer, with the"
echo "  Windows folder as the platform reports it; the other keys keep their values:"
show ScanAdvance.ini
