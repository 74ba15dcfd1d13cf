#!/bin/sh
# run-test.sh <program> [arguments]: how CTest starts every Wine test program.
#
# Wine's services hold the prefix's boot event; when services.exe has died (under the emulation
# of Wine's 32-bit side it does), the next program started from a shell boots the prefix again,
# and the services it starts inherit that program's standard error. Started by a test, they kept
# CTest's pipe open after the test had ended, until its timeout, and a crash among them printed
# its "Unhandled exception" (seen: 0x6be, an RPC call that failed) into the test's output. So the
# prefix is booted again here first, detached, and the program's standard error goes to a file,
# which no process left behind can hold open for CTest.
#
# A test program that passes ends with status 0. Another status after a passing summary means
# that it, or the emulator, crashed or was killed while it ended (seen for a fault during exit:
# 1, 14, 137, 139), so the status is named in a line the verdict fails on
# (cmake/GTestVerdict.cmake).

services_run() {
    for pid in $(pgrep -f 'system32\\services\.exe'); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
            return 0
    done
    return 1
}

if ! services_run; then
    echo "run-test.sh: Wine's services had ended in $WINEPREFIX: booting it again" >&2
    (timeout 120 wine wineboot) </dev/null >/dev/null 2>&1
fi

errors=$(mktemp)
wine "$@" 2>"$errors"
status=$?
cat "$errors" >&2
rm -f "$errors"
[ "$status" = 0 ] || echo "[  STATUS  ] the program ended with status $status"
exit $status
