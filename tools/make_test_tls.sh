#!/usr/bin/env bash
# Makes the TLS certificates of the local test servers in DIR: a throw-away
# CA and two server certificates it issued, good (127.0.0.1, localhost, and
# 127.0.0.2 where the reference deployment listens in tests)
# and other-name (a name no test connects to). The CA's key is deleted as
# soon as both are issued, so the CA that --install puts into the host's
# trust store can never vouch for anything else. Nothing here is committed.
#
# With --install (as root, or through sudo) the CA also goes into the host's
# store (/usr/local/share/ca-certificates, update-ca-certificates), which
# Wine's WinINet trusts in programs started afterwards. Each DIR installs
# under its own name, so build folders do not replace each other's.
# Usage: make_test_tls.sh DIR [--install]
set -euo pipefail
DIR="$(mkdir -p "${1:?folder}" && cd "$1" && pwd)"
INSTALL="${2:-}"

# Still good for a week: keep them (a new CA would have to be installed again).
fresh() {
  local f
  for f in ca.crt good.crt good.key other-name.crt other-name.key; do [ -f "$DIR/$f" ] || return 1; done
  openssl x509 -checkend 604800 -noout -in "$DIR/good.crt" >/dev/null 2>&1 &&
    openssl x509 -noout -ext subjectAltName -in "$DIR/good.crt" 2>/dev/null | grep -q "DNS:127.0.0.2"
}

if ! fresh; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  cd "$work"
  # A random serial and name per CA: two folders' CAs never look alike.
  tag="$(openssl rand -hex 4)"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.crt -days 825 \
    -subj "/CN=Quorvex Test TLS CA $tag" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
  issue() {
    openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$2" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\nsubjectAltName=%s\n' \
      "$3" > "$1.ext"
    openssl x509 -req -in "$1.csr" -CA ca.crt -CAkey ca.key -CAcreateserial -days 800 \
      -extfile "$1.ext" -out "$1.crt" 2>/dev/null
  }
  issue good 127.0.0.1 "IP:127.0.0.1,IP:127.0.0.2,DNS:localhost,DNS:127.0.0.1,DNS:127.0.0.2"
  issue other-name quorvex-other.invalid "DNS:quorvex-other.invalid"
  rm -f ca.key
  chmod 600 good.key other-name.key
  mv -f ca.crt good.crt good.key other-name.crt other-name.key "$DIR/"
  cd "$DIR"
fi

[ "$INSTALL" = --install ] || exit 0
name="quorvex-test-tls-$(printf '%s' "$DIR" | sha256sum | cut -c1-12).crt"
target="/usr/local/share/ca-certificates/$name"
if ! cmp -s "$DIR/ca.crt" "$target" 2>/dev/null; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO="sudo"
  $SUDO install -m 644 "$DIR/ca.crt" "$target"
  $SUDO update-ca-certificates >/dev/null
  echo "test TLS CA installed: $target"
fi
