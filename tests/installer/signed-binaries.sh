#!/bin/sh
# signed-binaries.sh <source root> <bin folder>
# The release's signing with a throwaway self-signed code-signing certificate and a time-stamping
# service of the test's own (openssl's RFC 3161 responder behind busybox's web server on
# 127.0.0.1): a certificate without a time-stamping service is refused; with one, release.sh
# signs Torvane.exe and both Kestrix.dll builds, each signature verifies against the certificate
# and carries a time stamp that verifies against the service's, the release notes list each
# signed file with the digest and its SHA-256 before signing (the built file's), and the signed
# Torvane.exe runs under Wine (WINEPREFIX from the caller) on a settings file it must rewrite.
set -eu
root=$1 bin=$2 work=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway code signing" \
    -addext extendedKeyUsage=codeSigning -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout pass:throwaway -out cert.pfx
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway time stamps" \
    -addext extendedKeyUsage=critical,timeStamping -keyout tsa.key -out tsa.crt 2>/dev/null
printf '[tsa]\ndefault_tsa = throwaway\n[throwaway]\nserial = %s/serial\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\ndigests = sha256\ness_cert_id_alg = sha256\n' \
    "$work" >tsa.cnf
echo 01 >serial
mkdir -p www/cgi-bin
cat >www/cgi-bin/tsa <<EOF
#!/bin/sh
head -c "\$CONTENT_LENGTH" >"$work/request.tsq"
printf 'Content-Type: application/timestamp-reply\r\n\r\n'
openssl ts -reply -config "$work/tsa.cnf" -queryfile "$work/request.tsq" -inkey "$work/tsa.key" \\
    -signer "$work/tsa.crt" 2>/dev/null
EOF
chmod +x www/cgi-bin/tsa
for try in 1 2 3 4 5; do
    port=$((20000 + ($$ * 7 + try * 1009) % 20000))
    busybox httpd -f -p "127.0.0.1:$port" -h www &
    server=$!
    sleep 1
    kill -0 "$server" 2>/dev/null && break
    server=""
done
[ -n "$server" ] || fail "no port for the time-stamping service"
url="http://127.0.0.1:$port/cgi-bin/tsa"

cp "$bin/Torvane.exe" "$root/samples/setup/ScanAdvance.ini" .
! osslsigncode verify -CAfile cert.pem -in Torvane.exe >/dev/null 2>&1 || fail "verifies unsigned"
status=0
TORVANE_SIGN_PFX=cert.pfx TORVANE_SIGN_PASSWORD=throwaway sh "$root/scripts/sign.sh" \
    Torvane.exe 2>refused.txt || status=$?
[ "$status" -ne 0 ] && grep -q "without a time stamp" refused.txt && cmp -s Torvane.exe "$bin/Torvane.exe" ||
    fail "a certificate without a time-stamping service was not refused"
echo "without a time-stamping service: refused, nothing signed"

# The release, signed: build/release/Torvane-<version>, removed again at the end.
TORVANE_SIGN_PFX="$work/cert.pfx" TORVANE_SIGN_PASSWORD=throwaway TORVANE_SIGN_TIMESTAMP_URL="$url" \
    sh "$root/scripts/release.sh" --no-build >release.txt
release=$(sed -n 's/^release: \(.*\)\.zip$/\1/p' release.txt)
[ -d "$release" ] || fail "no release folder: $(cat release.txt)"
for file in Torvane.exe Kestrix.dll x64/Kestrix.dll; do
    osslsigncode verify -CAfile cert.pem -TSA-CAfile tsa.crt -in "$release/$file" >out.txt 2>&1 ||
        { cat out.txt; fail "$file"; }
    grep -q "Throwaway code signing" out.txt || fail "$file: not our signer"
    osslsigncode extract-signature -pem -in "$release/$file" -out signature.pem >/dev/null
    openssl asn1parse -in signature.pem | grep -q id-smime-ct-TSTInfo || fail "$file: no time stamp"
    rm -f signature.pem
    built=$(sha256sum <"$bin/$file" | cut -d' ' -f1)
    grep -qx "  $file  unsigned SHA-256 $built" "$release/RELEASE-NOTES.txt" ||
        fail "$file: the release notes do not name its SHA-256 before signing"
    echo "$file: signed, time-stamped, verified"
done
grep -q "SHA-256 digest, RFC 3161 time stamp from" "$release/RELEASE-NOTES.txt" &&
    grep -qF "$url" "$release/RELEASE-NOTES.txt" || fail "the release notes do not name the signing"
cp "$release/Torvane.exe" Torvane.exe
rm -rf "$release" "$release.zip"

grep -q '\[WINDIR\]' ScanAdvance.ini || fail "the sample holds no [WINDIR]"
status=0
wine Torvane.exe TRANSLATESCANADVANCE ScanAdvance.ini </dev/null >/dev/null 2>&1 || status=$?
echo "signed Torvane.exe TRANSLATESCANADVANCE ScanAdvance.ini: exit status $status"
[ "$status" -eq 0 ] && ! grep -q '\[WINDIR\]' ScanAdvance.ini || fail "the file was not rewritten"
