#!/bin/sh
# signed-binaries.sh <source root> <bin folder>
# Signs copies of Torvane.exe and both Kestrix.dll builds as the release does, with a throwaway self-signed
# code-signing certificate; verifies both against it; runs the signed Torvane.exe under Wine
# (WINEPREFIX from the caller) on a settings file it must rewrite.
set -eu
root=$1 bin=$2 work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway code signing" \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:throwaway -out cert.pfx
cp "$bin/Torvane.exe" "$bin/Kestrix.dll" "$root/samples/setup/ScanAdvance.ini" .
cp "$bin/x64/Kestrix.dll" Kestrix64.dll
! osslsigncode verify -CAfile cert.pem -in Torvane.exe >/dev/null 2>&1 || fail "verifies unsigned"
TORVANE_SIGN_PFX=cert.pfx TORVANE_SIGN_PASSWORD=throwaway sh "$root/scripts/sign.sh" \
    Torvane.exe Kestrix.dll Kestrix64.dll
for file in Torvane.exe Kestrix.dll Kestrix64.dll; do
    osslsigncode verify -CAfile cert.pem -in "$file" >out.txt 2>&1 || { cat out.txt; fail "$file"; }
    grep -q "Throwaway code signing" out.txt || fail "$file: not our signer"
    echo "$file: $(grep -m1 'Signature verification' out.txt)"
done
grep -q '\[WINDIR\]' ScanAdvance.ini || fail "the sample holds no [WINDIR]"
status=0
wine Torvane.exe TRANSLATESCANADVANCE ScanAdvance.ini </dev/null >/dev/null 2>&1 || status=$?
echo "signed Torvane.exe TRANSLATESCANADVANCE ScanAdvance.ini: exit status $status"
[ "$status" -eq 0 ] && ! grep -q '\[WINDIR\]' ScanAdvance.ini || fail "the file was not rewritten"
