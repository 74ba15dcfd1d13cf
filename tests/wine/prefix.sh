#!/bin/sh
# prefix.sh boot|stop <prefix-dir> <win64|win32>
# boot: creates the prefix when it is missing, then starts a persistent Wine server for it and
# warms it up. Every Wine process is detached from the caller's streams, so that the background
# services Wine starts never hold a test runner's pipes open.
set -u
action=$1 prefix=$2 arch=$3
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

quiet() { "$@" </dev/null >/dev/null 2>&1; }

# A usable prefix has its registry written and the WIA service registered.
prefix_complete() {
    [ -f "$prefix/system.reg" ] && grep -qi 'Services\\\\stisvc\]' "$prefix/system.reg"
}

# Each attempt is bounded: under emulation a creation occasionally hangs instead of dying.
create_prefix() {
    quiet wineserver -k
    rm -rf "$prefix"
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
    # A crashing test program must end, not wait for a debugger.
    quiet wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Auto /t REG_SZ /d 0 /f
    quiet wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f
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
