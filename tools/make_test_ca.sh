#!/usr/bin/env bash
# Makes a throw-away CA and two code-signing certificates issued by it in DIR
# (kept only in the build folder; nothing here is ever committed): signer,
# the fixtures' publisher (the test build's QUORVEX_PUBLISHER), and other, a
# second publisher of the same CA. signer.sha1 holds the signer's thumbprint.
# Usage: make_test_ca.sh DIR
set -euo pipefail
DIR="$1"
[ -f "$DIR/signer.key" ] && [ -f "$DIR/other.key" ] && [ -f "$DIR/signer.sha1" ] && exit 0
mkdir -p "$DIR"
cd "$DIR"
rm -f ca.* signer.* other.*
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 \
  -subj "/CN=Quorvex Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
issue() {
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -days 3650 \
    -extfile "$1.ext" -out "$1.crt" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}
issue signer "Quorvex Test Signer"
issue other "Quorvex Other Signer"
openssl x509 -in signer.crt -noout -fingerprint -sha1 | sed 's/.*=//; s/://g' > signer.sha1
