# REGISTER and UNREGISTER on the bundled sample INF, with stand-ins for the driver tools and
# the product's library: each one journals what it was started with or called with.
echo "== REGISTER / UNREGISTER: the driver package of samples/setup/scanner.inf"
for file in DPInst.exe DPInst64.exe devcon.exe devcon64.exe Pellux.exe Ulmora.dll; do
    cp "$build/bin/$file" "$program/"
done

# show_journal: what the stand-ins received, in order, then a fresh journal for the next run.
show_journal() {
    echo "  journal (programs started, library calls):"
    if [ -f "$program/journal.txt" ]; then
        tr -d '\r' <"$program/journal.txt" | sed 's/^/    /'
    else
        echo "    (nothing)"
    fi
    rm -f "$program/journal.txt"
}

# as_windows VERSION: the Windows version Wine reports to Torvane.exe ("" for Wine's default).
as_windows() {
    key='HKCU\Software\Wine\AppDefaults\Torvane.exe'
    if [ -n "$1" ]; then
        wine reg add "$key" /v Version /d "$1" /f >/dev/null 2>&1
    else
        wine reg delete "$key" /v Version /f >/dev/null 2>&1 || true
    fi
}

echo "-- 64-bit Windows 7 (Wine's default): DPInst64.exe and devcon64.exe"
wine sc stop stisvc >/dev/null 2>&1 || true
wait_for_state stisvc STOPPED
torvane REGISTER scanner.inf /Q
show_journal
echo "  Pellux.ini:"
tr -d '\r' <"$program/Pellux.ini" | sed 's/^/    /'
torvane UNREGISTER scanner.inf
show_journal
wait_for_state stisvc RUNNING
echo "  stisvc after UNREGISTER: $(service_state stisvc) (stopped around the removal, started again)"
torvane UNREGISTER scanner.inf STOPWIA
show_journal
echo "  stisvc after UNREGISTER ... STOPWIA: $(service_state stisvc)"

echo "-- Windows XP: Pellux.exe installs; removal is the library's alone"
as_windows winxp
torvane REGISTER scanner.inf /Q
show_journal
torvane UNREGISTER scanner.inf STOPWIA
show_journal
as_windows ""
