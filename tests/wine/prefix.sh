#!/bin/sh
# prefix.sh boot|stop <prefix-dir> <win64|win32>
# boot: creates the prefix when it is missing, then starts a persistent Wine server for it and
# warms it up. Every Wine process is detached from the caller's streams, so that the background
# services Wine starts never hold a test runner's pipes open.
set -u
action=$1 prefix=$2 arch=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/common.sh"
wine_environment "$prefix"

quiet() { "$@" </dev/null >/dev/null 2>&1; }

# A usable prefix has its registry written and the WIA service registered.
prefix_complete() {
    [ -f "$prefix/system.reg" ] && grep -qi 'Services\\\\stisvc\]' "$prefix/system.reg"
}

# Registry keys that tests change and put back (shell folders, the user profile list) or that
# only tests write (per-program Windows versions). A test killed by its timeout cannot put them
# back, so every boot restores them as they were when the prefix was made.
baseline="$prefix.baseline"
RESTORED_KEYS='HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders
HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders
HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders
HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders
HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
REMOVED_KEYS='HKEY_CURRENT_USER\Software\Wine\AppDefaults'

# Exports each restored key of the new prefix (keys the prefix lacks are left out).
save_baseline() {
    rm -rf "$baseline"
    mkdir -p "$baseline"
    n=0
    printf '%s\n' "$RESTORED_KEYS" | while IFS= read -r key; do
        n=$((n + 1))
        quiet timeout 120 wine reg export "$key" "$baseline/$n.reg" /y || rm -f "$baseline/$n.reg"
    done
}

# A crashing program must end, not wait for a debugger. On an unhandled exception Wine starts
# the AeDebug debugger (winedbg --auto when none is named; with Auto=0 it first asks in a message
# box) and the crashed program waits for it; under the emulation winedbg may never end. A debugger
# that cannot be started, and Auto=1, make the crash end the program. A 32-bit program in the
# 64-bit prefix reads the key of the 32-bit view.
AEDEBUG='HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
AEDEBUG_WOW64='HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'
no_debugger() {
    for key in "$AEDEBUG" "$AEDEBUG_WOW64"; do
        [ "$key" = "$AEDEBUG" ] || [ "$arch" = win64 ] || continue
        printf '[%s]\r\n"Auto"="1"\r\n' "$key"
        printf '"Debugger"="no-debugger-in-test-prefixes.exe %%ld %%ld"\r\n\r\n'
    done
}

# Wine's null graphics driver: no display here, yet a program that makes a window (hidden, as
# Inno Setup's does even when silent) needs a desktop. The desktop process takes the driver set
# when it starts and keeps it for as long as the prefix's server runs, so the driver is set at
# boot, before any program of the tests starts, and the server is then started again.
null_graphics() {
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\r\n"Graphics"="null"\r\n\r\n'
}

# One registry script (UTF-16, as the registry editor writes it) that deletes every restored and
# removed key, imports the saved state of the restored ones and sets the crash handling and the
# graphics driver; run with the registry editor.
restore_baseline() {
    [ -d "$baseline" ] || return 0
    script="$baseline/reset.reg"
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        no_debugger
        null_graphics
        printf '%s\n%s\n' "$REMOVED_KEYS" "$RESTORED_KEYS" | while IFS= read -r key; do
            printf '[-%s]\r\n\r\n' "$key"
        done
        for saved in "$baseline"/[0-9]*.reg; do
            [ -f "$saved" ] || continue
            iconv -f UTF-16 -t UTF-8 "$saved" | tail -n +2
            printf '\r\n'
        done
    } | iconv -f UTF-8 -t UTF-16LE >"$script.body"
    { printf '\377\376'; cat "$script.body"; } >"$script"
    rm -f "$script.body"
    quiet timeout 120 wine regedit /s "$(wine_path "$script")"
}

# Each attempt is bounded: under emulation a creation occasionally hangs instead of dying.
create_prefix() {
    quiet wineserver -k
    rm -rf "$prefix" "$baseline"
    mkdir -p "$(dirname "$prefix")"
    quiet timeout 240 env WINEARCH="$arch" wineboot -i
    quiet timeout 60 wineserver -w || quiet wineserver -k
}

case "$action" in
boot)
    # Creating a prefix runs many programs; where Wine's 32-bit side runs under emulation one of
    # them occasionally dies and leaves the prefix incomplete. Such a prefix is made again.
    tries=0
    while ! prefix_complete; do
        tries=$((tries + 1))
        if [ "$tries" -gt 3 ]; then
            echo "could not create a complete $arch Wine prefix at $prefix" >&2
            exit 1
        fi
        create_prefix
    done
    (wineserver -p; timeout 120 wine wineboot) </dev/null >/dev/null 2>&1
    [ -d "$baseline" ] || save_baseline
    restore_baseline
    # Again, so that no process started before the graphics driver was set stays in use.
    quiet wineserver -k
    (wineserver -p; timeout 120 wine wineboot) </dev/null >/dev/null 2>&1
    quiet timeout 120 wine cmd /c exit 0 || {
        echo "the $arch Wine prefix at $prefix does not run programs" >&2
        exit 1
    }
    echo "Wine prefix $arch ready at $prefix"
    ;;
stop)
    quiet wineserver -k
    quiet wineserver -w
    echo "Wine server for $arch stopped"
    ;;
*)
    echo "usage: prefix.sh boot|stop <prefix-dir> <win64|win32>" >&2
    exit 2
    ;;
esac
