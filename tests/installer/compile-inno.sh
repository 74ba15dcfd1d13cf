#!/bin/sh
# compile-inno.sh <Inno Setup folder> <source root> <bin folder> <version> [<older version>]
# Compiles installer/ScannerSetup.iss with Inno Setup's own compiler under Wine (WINEPREFIX from
# the caller) into the bin folder: ScannerSetupInno.exe; with an older version also
# ScannerSetupInnoBroken.exe, whose TRANSLATEPATH names a file that is not there, and
# ScannerSetupInnoOlder.exe, the same files as that older version. The compiler stores each
# file's time: the files the script names are staged with the time of the commit, so that two
# builds of one commit give the same setup program.
set -eu
inno=$1 root=$2 bin=$3 version=$4 older=${5:-}
script="$root/installer/ScannerSetup.iss"
stage="$bin/inno-stage"
. "$root/scripts/common.sh"
wine_environment "$WINEPREFIX"
unset DISPLAY

rm -rf "$stage"
mkdir -p "$stage/bin" "$stage/samples"
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 315532800)}
for name in $(sed -n 's/^Source: "{#BinDir}\\\([^"]*\)".*/\1/p' "$script" | sort -u); do
    cp "$bin/$name" "$stage/bin/"
done
for name in $(sed -n 's/^Source: "{#SampleDir}\\\([^"]*\)".*/\1/p' "$script" | sort -u); do
    cp "$root/samples/setup/$name" "$stage/samples/"
done
[ -f "$stage/bin/Torvane.exe" ] && [ -f "$stage/samples/Setup.reg" ] || {
    echo "no payload found in $script" >&2
    exit 1
}
touch -d "@$epoch" "$stage"/bin/* "$stage"/samples/*

# Two settings the compiler needs where Wine's 32-bit side runs under emulation, which cannot
# give it the large memory blocks LZMA asks for; passed from outside the script (/J), which sets
# neither.
printf '[Setup]\r\nInternalCompressLevel=fast\r\nLZMAUseSeparateProcess=yes\r\n' >"$stage/emulation.iss"
sed 's/TRANSLATEPATH Setup.reg/TRANSLATEPATH Absent.reg/' "$script" >"$stage/ScannerSetupBroken.iss"
grep -q 'TRANSLATEPATH Absent.reg' "$stage/ScannerSetupBroken.iss"

# compile <script> <output name> <version>
compile() {
    status=0
    wine "$inno/ISCC.exe" /Q "/J$(wine_path "$stage/emulation.iss")" \
        "/DBinDir=$(wine_path "$stage/bin")" "/DSampleDir=$(wine_path "$stage/samples")" \
        "/DVersion=$3" "/O$(wine_path "$bin")" "/F$2" "$(wine_path "$1")" \
        </dev/null >"$stage/iscc.txt" 2>&1 || status=$?
    cat "$stage/iscc.txt"
    [ "$status" -eq 0 ] && [ -f "$bin/$2.exe" ] || {
        echo "ISCC failed for $1 (status $status)" >&2
        exit 1
    }
    echo "compiled $bin/$2.exe"
}
rm -f "$bin/ScannerSetupInno.exe" "$bin/ScannerSetupInnoBroken.exe" "$bin/ScannerSetupInnoOlder.exe"
compile "$script" ScannerSetupInno "$version"
if [ -n "$older" ]; then
    compile "$stage/ScannerSetupBroken.iss" ScannerSetupInnoBroken "$version"
    compile "$script" ScannerSetupInnoOlder "$older"
fi

# Setup needs a desktop even when it shows nothing: Wine's null graphics driver gives it one
# without a display. The test prefixes set it at boot (tests/wine/prefix.sh), before any program
# starts; set here for another prefix, it holds from the next start of that prefix's server.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
