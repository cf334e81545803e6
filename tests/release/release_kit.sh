#!/usr/bin/env bash
# Checks of the release kit, run by ctest.
#   release_kit.sh publish BUILD   what tools/publish-package accepts and refuses
#   release_kit.sh release BUILD   two release builds give the same bytes; the
#                                  signed one verifies and is trusted under Wine
set -euo pipefail
MODE="$1" BUILD="$(cd "$2" && pwd)"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
PUBLISH="$ROOT/tools/publish-package"
CA="$BUILD/fixture-ca" FIX="$BUILD/www/fixtures"
SIGNER="Quorvex Test Signer"
WORK="$BUILD/release-test/$MODE"
rm -rf "$WORK"
mkdir -p "$WORK"

fail() { echo "FAILED: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# Refused with a reason that names the cause.
refused() {
  local why="$1" package="$2"; shift 2
  local out
  if out="$("$PUBLISH" "$package" --url http://pkg.example.test/p.exe --site 4501648 --ca "$CA/ca.crt" "$@" 2>&1)"; then
    fail "publish-package accepted $package ($why)"
  fi
  grep -q "refused: .*$why" <<<"$out" || fail "publish-package gave another reason than '$why': $out"
  pass "refused $(basename "$package"): $why"
}

if [ "$MODE" = publish ]; then
  # A second code-signing certificate from the same CA: trusted, but not the pinned publisher.
  openssl req -newkey rsa:2048 -nodes -keyout "$WORK/other.key" -out "$WORK/other.csr" -subj "/CN=Other Publisher" 2>/dev/null
  printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >"$WORK/ext"
  openssl x509 -req -in "$WORK/other.csr" -CA "$CA/ca.crt" -CAkey "$CA/ca.key" -CAcreateserial \
    -CAserial "$WORK/ca.srl" -days 30 -extfile "$WORK/ext" -out "$WORK/other.crt" 2>/dev/null
  osslsigncode sign -certs "$WORK/other.crt" -ac "$CA/ca.crt" -key "$WORK/other.key" -h sha256 \
    -in "$FIX/unsigned.exe" -out "$WORK/other.exe" >/dev/null

  refused "not signed" "$FIX/unsigned.exe" --publisher "$SIGNER"
  refused "changed after it was signed" "$FIX/tampered.exe" --publisher "$SIGNER"
  refused "not by the pinned publisher \"$SIGNER\"" "$WORK/other.exe" --publisher "$SIGNER"
  refused "no product version" "$FIX/unversioned.exe"
  refused "not trusted" "$FIX/signed.exe" --ca "$WORK/other.crt"
  refused "site id" "$FIX/signed.exe" --site "45 01"

  # Accepted by name and by thumbprint; one entry per site, as the installer reads it.
  thumb="$(openssl x509 -in "$CA/signer.crt" -noout -fingerprint -sha1 | cut -d= -f2 | tr -d :)"
  md5="$(md5sum "$FIX/signed.exe" | cut -d' ' -f1)"
  out="$("$PUBLISH" "$FIX/signed.exe" --url 'http://pkg.example.test/a.exe?x=1&y=2' --site 11 --site 12 \
         --ca "$CA/ca.crt" --publisher "${thumb,,}" --up-style 3 --updatetime 1700000000 --replies "$WORK/replies")"
  want='<Site ID="11" ver="2.5.17.3" updatetime="1700000000" upStyle="3" url="http://pkg.example.test/a.exe?x=1&amp;y=2" md5="'"$md5"'" update_desc=""/>'
  [ "$(head -1 <<<"$out")" = "$want" ] || fail "entry for site 11: $out"
  [ "$(wc -l <<<"$out")" = 2 ] && grep -q '^<Site ID="12" ' <<<"$out" || fail "one entry per site: $out"
  grep -qF "<TzLobbyVerInfo>$want</TzLobbyVerInfo>" "$WORK/replies/11.xml" || fail "reply file for site 11"
  "$PUBLISH" "$FIX/signed.exe" --url http://pkg.example.test/a.exe --site 1 --ca "$CA/ca.crt" \
    --publisher "$SIGNER" >/dev/null || fail "the pinned publisher's package by name"
  pass "accepted the pinned publisher's package by thumbprint and by name"
  exit 0
fi

[ "$MODE" = release ] || fail "unknown mode $MODE"
out="$("$ROOT/scripts/release" --server https://config.example.test 2>&1)" && fail "a release without a pin was built"
grep -q "without a publisher pin" <<<"$out" || fail "no reason given: $out"
out="$("$ROOT/scripts/release" --server https://config.example.test --no-publisher-pin --password secret 2>&1)" \
  && fail "a password on the command line was taken"
out="$("$ROOT/scripts/release" --server https://config.example.test --no-publisher-pin --pin 1234 2>&1)" \
  && fail "a PIN on the command line was taken"
grep -q "never from the command line" <<<"$out" || fail "no reason given for --pin: $out"
MODULE=/usr/lib/softhsm/libsofthsm2.so
out="$(QUORVEX_PKCS11_PIN=1234 "$ROOT/scripts/release" --server https://config.example.test --no-publisher-pin \
       --pkcs11-module "$MODULE" --key "pkcs11:object=signer;pin-value=1234" --cert "$CA/signer.crt" 2>&1)" \
  && fail "a PIN inside the key's URI was taken"
grep -q "remove pin-value" <<<"$out" || fail "no reason given for pin-value: $out"
pass "refuses a release without a pin, and a password or PIN on the command line"
for server in http://config.example.test http://127.0.0.1.example.test:80 http://[::2]:80; do
  out="$("$ROOT/scripts/release" --server "$server" --no-publisher-pin 2>&1)" && fail "plain $server was taken"
  grep -qF "refusing plain $server: " <<<"$out" && grep -q "anyone on the path" <<<"$out" \
    || fail "no reason given for $server: $out"
done
# Past the server checks, a bad floor still stops it before anything is built.
for server in http://127.0.0.2:1 http://LOCALHOST http://[::1]:8080 https://config.example.test; do
  out="$("$ROOT/scripts/release" --server "$server" --no-publisher-pin --min-package-version 1.2 2>&1)" \
    && fail "a floor of 1.2 was taken"
  grep -q "min-package-version takes four numbers" <<<"$out" || fail "$server was not taken: $out"
done
out="$("$ROOT/scripts/release" --server http://config.example.test --allow-plain-http --no-publisher-pin \
       --min-package-version x 2>&1)" && fail "a floor of x was taken"
grep -q "min-package-version takes four numbers" <<<"$out" || fail "--allow-plain-http was not taken: $out"
pass "refuses plain http other than loopback unless allowed, and a malformed version floor"

# The two release builds stay between runs (later runs rebuild only what
# changed); they share nothing but the sources.
BUILDS="$BUILD/release-test/builds"
# One source date for both, even when a commit lands between them.
SOURCE_DATE_EPOCH="$(git -C "$ROOT" log -1 --format=%ct 2>/dev/null || echo 315532800)"
export SOURCE_DATE_EPOCH
# Parts made from the date alone (the skin archive's times) are not remade
# when only the date moved: builds of another date start afresh.
if [ "$(cat "$BUILDS/epoch" 2>/dev/null)" != "$SOURCE_DATE_EPOCH" ]; then
  rm -rf "$BUILDS"
  mkdir -p "$BUILDS"
  echo "$SOURCE_DATE_EPOCH" > "$BUILDS/epoch"
fi

# The test signer as a PKCS#12 file, its password in a file and in the environment.
printf 'test pass' >"$WORK/password"
openssl pkcs12 -export -in "$CA/signer.crt" -inkey "$CA/signer.key" -certfile "$CA/ca.crt" \
  -out "$WORK/signer.p12" -passout "file:$WORK/password"
options=(--server https://config.example.test:8443 --publisher "$SIGNER" --version 1.2.3.4
         --min-package-version 2.6.0.0 --ca "$CA/ca.crt")
common=("${options[@]}" --pfx "$WORK/signer.p12")
QUORVEX_PFX_PASSWORD='test pass' "$ROOT/scripts/release" "${common[@]}" \
  --build-dir "$BUILDS/a" --out "$WORK/a/out" >"$WORK/a.log" 2>&1 || { cat "$WORK/a.log"; fail "release a"; }
"$ROOT/scripts/release" "${common[@]}" --password-file "$WORK/password" \
  --build-dir "$BUILDS/elsewhere/b" --out "$WORK/b-out" >"$WORK/b.log" 2>&1 || { cat "$WORK/b.log"; fail "release b"; }
sum_a="$(sed -n 's/^release: unsigned .* sha256 //p' "$WORK/a.log")"
sum_b="$(sed -n 's/^release: unsigned .* sha256 //p' "$WORK/b.log")"
[ -n "$sum_a" ] && [ "$sum_a" = "$sum_b" ] || fail "two release builds differ before signing: $sum_a / $sum_b"
pass "two release builds in different folders give the same SHA-256 before signing ($sum_a)"

EXE="$WORK/a/out/QuorvexSetup.exe"
grep -q '^release: signed ' "$WORK/a.log" || fail "release a was not signed"
osslsigncode verify -in "$EXE" -CAfile "$CA/ca.crt" >/dev/null || fail "osslsigncode does not verify the release"
! grep -a -q -e "$BUILDS" -e "$ROOT" "$EXE" || fail "the release holds a build or source path"
pass "the signed release verifies with osslsigncode"
grep -q '^QUORVEX_MIN_PACKAGE_VERSION:STRING=2.6.0.0$' "$BUILDS/a/CMakeCache.txt" || fail "the floor did not reach the build"
grep -q '^QUORVEX_SERVER:STRING=https://config.example.test:8443$' "$BUILDS/a/CMakeCache.txt" \
  || fail "the https server did not reach the build"

# The installer's own trust check, under Wine, on the release file.
check="$BUILD/tests/release/quorvex_trust_check.exe"
cp "$EXE" "$WORK/changed.exe"
printf 'X' | dd of="$WORK/changed.exe" bs=1 seek=4096 conv=notrunc status=none
[ "$("$BUILD/wine-run" "$check" "Z:${EXE//\//\\}" | tr -d '\r')" = trusted ] || fail "WinVerifyTrust rejects the release"
[ "$("$BUILD/wine-run" "$check" "Z:${WORK//\//\\}\\changed.exe" | tr -d '\r')" = "not trusted" ] \
  || fail "WinVerifyTrust accepts a changed release"
pass "WinVerifyTrust under Wine trusts the release and not a changed copy"

out="$("$ROOT/tools/publish-package" "$EXE" --url http://x.test/s.exe --site 1 --ca "$CA/ca.crt" --publisher "$SIGNER")"
grep -q 'ver="1.2.3.4"' <<<"$out" || fail "the release's version resource: $out"
pass "the release carries its own version 1.2.3.4"

# The same build signed again, now with the test signer's key in a SoftHSM2
# token of this run's own (never the system's token store), through
# osslsigncode's PKCS#11 support.
start=$SECONDS
export SOFTHSM2_CONF="$WORK/softhsm2.conf"
mkdir -p "$WORK/tokens"
printf 'directories.tokendir = %s\nobjectstore.backend = file\nlog.level = ERROR\n' "$WORK/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label quorvex-test --so-pin 87654321 --pin 246810 >/dev/null
softhsm2-util --import "$CA/signer.key" --token quorvex-test --label signer --id 01 --pin 246810 >/dev/null
token=("${options[@]}" --pkcs11-module "$MODULE" --key "pkcs11:token=quorvex-test;object=signer;type=private"
       --cert "$CA/signer.crt" --build-dir "$BUILDS/a")
printf '135790' >"$WORK/wrong-pin"
"$ROOT/scripts/release" "${token[@]}" --pin-file "$WORK/wrong-pin" --out "$WORK/token-wrong" >"$WORK/token-wrong.log" 2>&1 \
  && { cat "$WORK/token-wrong.log"; fail "a release was signed with a wrong PIN"; }
grep -q "signing failed" "$WORK/token-wrong.log" && [ ! -e "$WORK/token-wrong/QuorvexSetup.exe" ] \
  || { cat "$WORK/token-wrong.log"; fail "a wrong PIN did not stop the release"; }
QUORVEX_PKCS11_PIN=246810 "$ROOT/scripts/release" "${token[@]}" --out "$WORK/token-out" >"$WORK/token.log" 2>&1 \
  || { cat "$WORK/token.log"; fail "release signed with the token"; }
[ "$(sed -n 's/^release: unsigned .* sha256 //p' "$WORK/token.log")" = "$sum_a" ] || fail "the token signed another build"
EXE="$WORK/token-out/QuorvexSetup.exe"
osslsigncode verify -in "$EXE" -CAfile "$CA/ca.crt" >/dev/null || fail "osslsigncode does not verify the token's release"
[ "$("$BUILD/wine-run" "$check" "Z:${EXE//\//\\}" | tr -d '\r')" = trusted ] || fail "WinVerifyTrust rejects the token's release"
"$ROOT/tools/publish-package" "$EXE" --url http://x.test/s.exe --site 1 --ca "$CA/ca.crt" --publisher "$SIGNER" >/dev/null \
  || fail "the token's release is not taken as the pinned publisher's"
pass "a key in a PKCS#11 token signs the same build; it verifies, is trusted under Wine and is the pinned publisher's; a wrong PIN stops the release ($((SECONDS - start)) s)"
