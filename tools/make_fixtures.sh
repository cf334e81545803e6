#!/usr/bin/env bash
# Builds the standard fixture packages into DIR, with the throw-away CA in
# CA_DIR. Usage: make_fixtures.sh DIR CA_DIR
set -euo pipefail
TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
DIR="$1"; CA="$2"
mk() { "$TOOLS/make_fixture.sh" "$DIR/$1" "$CA" "${@:2}"; }
mk signed.exe --product 2.5.17.3 --file 1.0.0.1
mk unsigned.exe --product 2.5.17.3 --file 1.0.0.1 --unsigned
mk tampered.exe --product 2.5.17.3 --file 1.0.0.1 --tamper
mk unversioned.exe --noversion --unsigned
mk other-signer.exe --product 2.5.17.3 --file 1.0.0.1 --signer other
mk large.exe --product 2.5.17.3 --file 1.0.0.1 --pad 3145728
