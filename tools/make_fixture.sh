#!/usr/bin/env bash
# Builds one fixture package: the tiny program of fixture/fixture.c with a
# version resource, optionally padded, signed and tampered.
# Usage: make_fixture.sh OUT.exe CA_DIR [--product A.B.C.D] [--file A.B.C.D]
#          [--noversion] [--unsigned] [--tamper] [--pad BYTES] [--signer other]
set -euo pipefail
# The fixtures are started by the installer, so they match its build's
# architecture (MINGW names the toolchain prefix).
MINGW="${MINGW:-i686-w64-mingw32}"
TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
OUT="$1"; CA="$2"; shift 2
PRODUCT=2.5.17.3 FILEVER=1.0.0.1 VERSIONED=1 SIGNED=1 TAMPER=0 PAD=0 SIGNER=signer
while [ $# -gt 0 ]; do
  case "$1" in
    --product) PRODUCT="$2"; shift ;;
    --file) FILEVER="$2"; shift ;;
    --noversion) VERSIONED=0 ;;
    --unsigned) SIGNED=0 ;;
    --tamper) TAMPER=1 ;;
    --pad) PAD="$2"; shift ;;
    --signer) SIGNER="$2"; shift ;;
    *) echo "make_fixture: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
rc="$WORK/fixture.rc"
: > "$rc"
if [ "$VERSIONED" = 1 ]; then
  pc="${PRODUCT//./,}" fc="${FILEVER//./,}"
  cat >> "$rc" <<RC
1 VERSIONINFO
FILEVERSION $fc
PRODUCTVERSION $pc
FILEFLAGSMASK 0x3f
FILEFLAGS 0
FILEOS 0x40004
FILETYPE 1
FILESUBTYPE 0
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904b0"
    BEGIN
      VALUE "FileVersion", "$FILEVER"
      VALUE "ProductVersion", "$PRODUCT"
      VALUE "ProductName", "Quorvex test package"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
RC
fi
if [ "$PAD" -gt 0 ]; then
  head -c "$PAD" /dev/urandom > "$WORK/pad.bin"
  echo "2 RCDATA \"$WORK/pad.bin\"" >> "$rc"
fi
objs=("$WORK/fixture.o")
"$MINGW-gcc" -Os -s -mwindows -c "$TOOLS/fixture/fixture.c" -o "$WORK/fixture.o"
if [ -s "$rc" ]; then
  "$MINGW-windres" "$rc" -O coff -o "$WORK/res.o"
  objs+=("$WORK/res.o")
fi
"$MINGW-gcc" -s -mwindows -o "$WORK/plain.exe" "${objs[@]}"

if [ "$SIGNED" = 1 ]; then
  "$TOOLS/make_test_ca.sh" "$CA"
  osslsigncode sign -certs "$CA/$SIGNER.crt" -ac "$CA/ca.crt" -key "$CA/$SIGNER.key" \
    -n "Quorvex test package" -h sha256 -in "$WORK/plain.exe" -out "$WORK/signed.exe" >/dev/null
  mv "$WORK/signed.exe" "$WORK/plain.exe"
fi
if [ "$TAMPER" = 1 ]; then
  /usr/bin/python3 - "$WORK/plain.exe" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
at = data.find(b"QUORVEX-FIXTURE-RAN")
if at < 0:
    sys.exit("make_fixture: marker not found")
data[at] ^= 0x20  # inside the signed image, outside the signature
open(path, "wb").write(data)
PY
fi
mkdir -p "$(dirname "$OUT")"
mv "$WORK/plain.exe" "$OUT.part"
mv "$OUT.part" "$OUT"
