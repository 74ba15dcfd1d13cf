#!/bin/sh
# sign.sh FILE...
# Signs Windows binaries in place with Authenticode (osslsigncode, SHA-256 digest), when a
# certificate is given:
#   TORVANE_SIGN_PFX            the certificate with its private key, a PKCS#12 (.pfx) file
#   TORVANE_SIGN_PASSWORD       the password of that file
#   TORVANE_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping service; required with a certificate:
#                               the time stamp proves that each signature was made while the
#                               certificate was valid, so that it stays valid after the
#                               certificate expires
# Without TORVANE_SIGN_PFX it leaves the files unsigned and says so. For each file it signs it
# prints a line "signed: <file>".
set -eu
if [ -z "${TORVANE_SIGN_PFX:-}" ]; then
    echo "not signed (no TORVANE_SIGN_PFX): $*"
    exit 0
fi
[ -f "$TORVANE_SIGN_PFX" ] || {
    echo "TORVANE_SIGN_PFX names no file: $TORVANE_SIGN_PFX" >&2
    exit 1
}
[ -n "${TORVANE_SIGN_TIMESTAMP_URL:-}" ] || {
    echo "a certificate without a time stamp: set TORVANE_SIGN_TIMESTAMP_URL to an RFC 3161" \
        "time-stamping service (a signature without one ends with the certificate); nothing" \
        "signed" >&2
    exit 1
}
# The password goes through a file, not the command line, where other users could read it; the
# file (readable by this user only) goes with the script however it ends, interrupted included,
# and so does a half-signed copy.
pass=$(mktemp)
signing=""
trap 'rm -f "$pass" ${signing:+"$signing"}' EXIT
trap 'exit 130' INT TERM HUP
printf '%s' "${TORVANE_SIGN_PASSWORD:-}" >"$pass"
for file in "$@"; do
    signing="$file.signed"
    status=0
    osslsigncode sign -pkcs12 "$TORVANE_SIGN_PFX" -readpass "$pass" -h sha256 \
        -ts "$TORVANE_SIGN_TIMESTAMP_URL" -in "$file" -out "$file.signed" >/dev/null || status=$?
    if [ "$status" -ne 0 ]; then
        echo "signing $file failed" >&2
        exit 1
    fi
    mv "$file.signed" "$file"
    signing=""
    echo "signed: $file"
done
