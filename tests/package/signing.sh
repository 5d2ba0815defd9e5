#!/usr/bin/env bash
# scripts/sign with a throw-away certificate: the program comes out with a SHA-256 Authenticode
# signature that osslsigncode verifies against that certificate; without a certificate it stays
# as it was and the script says so (exit code 3).
set -euo pipefail

program=$1
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vqx-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
    echo "signing: $*" >&2
    exit 1
}

cp "$program" "$work/unsigned.exe"
cp "$program" "$work/signed.exe"

rc=0
env -u VQX_SIGN_PFX "$root/scripts/sign" "$work/unsigned.exe" >/dev/null 2>"$work/unsigned.log" || rc=$?
((rc == 3)) || fail "without a certificate: exit code $rc, not 3"
cmp -s "$program" "$work/unsigned.exe" || fail "without a certificate the program changed"
grep -q unsigned "$work/unsigned.log" || fail "without a certificate nothing says so"

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Prueba de firma VQX" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" \
    2>/dev/null || fail "openssl could not make a certificate"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/firma.pfx" \
    -passout pass:secreto || fail "openssl could not make the PKCS#12 file"

signer=$(VQX_SIGN_PFX="$work/firma.pfx" VQX_SIGN_PASSWORD=secreto \
    "$root/scripts/sign" "$work/signed.exe" 2>"$work/signed.log") || {
    cat "$work/signed.log" >&2
    fail "signing failed"
}
[[ "$signer" == "Prueba de firma VQX" ]] || fail "signer \"$signer\""
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1 || {
    cat "$work/verify.log" >&2
    fail "the signature does not verify"
}
grep -qi "sha256" "$work/verify.log" || fail "the signature is not SHA-256: $(cat "$work/verify.log")"

# A wrong password signs nothing and leaves the program as it was.
cp "$program" "$work/wrong.exe"
if VQX_SIGN_PFX="$work/firma.pfx" VQX_SIGN_PASSWORD=otra "$root/scripts/sign" "$work/wrong.exe" \
    >/dev/null 2>&1; then
    fail "a wrong password signed"
fi
cmp -s "$program" "$work/wrong.exe" || fail "a failed signing changed the program"
echo "signing: ok"
