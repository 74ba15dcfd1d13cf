#!/bin/sh
# sign.sh FILE...
# Signs Windows binaries in place with Authenticode (osslsigncode), when a certificate is given:
#   TORVANE_SIGN_PFX            the certificate with its private key, a PKCS#12 (.pfx) file
#   TORVANE_SIGN_PASSWORD       the password of that file
#   TORVANE_SIGN_TIMESTAMP_URL  optional: an RFC 3161 time-stamping service, so that the
#                               signature stays valid after the certificate expires
# Without TORVANE_SIGN_PFX it leaves the files unsigned and says so.
set -eu
if [ -z "${TORVANE_SIGN_PFX:-}" ]; then
    echo "not signed (no TORVANE_SIGN_PFX): $*"
    exit 0
fi
[ -f "$TORVANE_SIGN_PFX" ] || {
    echo "TORVANE_SIGN_PFX names no file: $TORVANE_SIGN_PFX" >&2
    exit 1
}
for file in "$@"; do
    # The password goes through a file, not the command line, where other users could read it.
    pass=$(mktemp)
    printf '%s' "${TORVANE_SIGN_PASSWORD:-}" >"$pass"
    status=0
    osslsigncode sign -pkcs12 "$TORVANE_SIGN_PFX" -readpass "$pass" -h sha256 \
        ${TORVANE_SIGN_TIMESTAMP_URL:+-ts "$TORVANE_SIGN_TIMESTAMP_URL"} \
        -in "$file" -out "$file.signed" >/dev/null || status=$?
    rm -f "$pass"
    if [ "$status" -ne 0 ]; then
        rm -f "$file.signed"
        echo "signing $file failed" >&2
        exit 1
    fi
    mv "$file.signed" "$file"
    echo "signed: $file"
done
