#!/usr/bin/env bash
# Makes a throw-away CA and a code-signing certificate issued by it in DIR
# (kept only in the build folder; nothing here is ever committed).
# Usage: make_test_ca.sh DIR
set -euo pipefail
DIR="$1"
[ -f "$DIR/signer.crt" ] && [ -f "$DIR/signer.key" ] && exit 0
mkdir -p "$DIR"
cd "$DIR"
rm -f ca.* signer.*
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 3650 \
  -subj "/CN=Quorvex Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
  -subj "/CN=Quorvex Test Signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > signer.ext
openssl x509 -req -in signer.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 3650 \
  -extfile signer.ext -out signer.crt 2>/dev/null
rm -f signer.csr signer.ext
