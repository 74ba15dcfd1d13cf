#!/bin/sh
# signed-binaries.sh <source root> <bin folder>
# Signs copies of Torvane.exe and Kestrix.dll as the release does (scripts/sign.sh), with a
# throwaway self-signed code-signing certificate; checks both signatures against that
# certificate and that the signed Torvane.exe still starts and runs a command under Wine
# (WINEPREFIX set by the caller).
set -eu
root=$1 bin=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway code signing" \
    -addext keyUsage=digitalSignature -addext extendedKeyUsage=codeSigning \
    -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:throwaway -out cert.pfx
cp "$bin/Torvane.exe" "$bin/Kestrix.dll" "$root/samples/setup/ScanAdvance.ini" .

# Unsigned before, signed and verified after.
for file in Torvane.exe Kestrix.dll; do
    if osslsigncode verify -CAfile cert.pem -in "$file" >/dev/null 2>&1; then
        echo "FAIL: $file verifies before signing" >&2
        exit 1
    fi
done
TORVANE_SIGN_PFX=cert.pfx TORVANE_SIGN_PASSWORD=throwaway sh "$root/scripts/sign.sh" \
    Torvane.exe Kestrix.dll
for file in Torvane.exe Kestrix.dll; do
    osslsigncode verify -CAfile cert.pem -in "$file" >verify.txt 2>&1 || {
        cat verify.txt
        echo "FAIL: $file does not verify" >&2
        exit 1
    }
    grep -q "Throwaway code signing" verify.txt || {
        echo "FAIL: $file is not signed by the throwaway certificate" >&2
        exit 1
    }
    echo "$file: $(grep -m1 'Signature verification' verify.txt)"
done

# The signed program still runs: it rewrites the settings file's "[WINDIR]" values.
grep -q '\[WINDIR\]' ScanAdvance.ini || { echo "FAIL: the sample holds no [WINDIR]" >&2; exit 1; }
status=0
wine Torvane.exe TRANSLATESCANADVANCE ScanAdvance.ini </dev/null >/dev/null 2>&1 || status=$?
echo "signed Torvane.exe TRANSLATESCANADVANCE: exit status $status"
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status" >&2; exit 1; }
if grep -q '\[WINDIR\]' ScanAdvance.ini; then
    echo "FAIL: the signed Torvane.exe did not rewrite ScanAdvance.ini" >&2
    exit 1
fi
echo "signed binaries verify and run"
