#!/usr/bin/env bash
# Starts or stops the servers that tests and the demo talk to:
#   - tools/quorvex_server.py on the host:port of SERVER_URL (configuration,
#     statistics, download page, misbehaving package mode, control API);
#   - the same server over TLS on port + 2 (a certificate for 127.0.0.1) and
#     port + 3 (one for another name), when BUILD_DIR/tls-ca holds the
#     certificates (scripts/bootstrap makes them: tools/make_test_tls.sh);
#   - nginx on port + 1, serving BUILD_DIR/www (real Range support); under
#     /slow/ the same files at 512 KiB/s per request, under /uneven/ at
#     2 MiB/s for a range from below byte 3,000,000 and 384 KiB/s for any other, both
#     logging the bytes each request was sent to nginx-ranges.log;
#   - in the same nginx, the reference deployment (deploy/quorvex.conf.in) on
#     127.0.0.2 at the same ports + 1 (HTTP), + 2 (HTTPS) and + 3 (its report
#     sink), rooted at BUILD_DIR/deploy-www, its logs in the state folder
#     (quorvex-reports.log: the reports it took).
# Their state lives in BUILD_DIR/test-servers: pid files, logs, the nginx
# configuration and requests.db, the SQLite record of every request (read it
# with: sqlite3 BUILD_DIR/test-servers/requests.db 'select * from requests').
#
# Usage: test_servers.sh start BUILD_DIR SERVER_URL [REPLIES_DIR]
#        test_servers.sh stop BUILD_DIR
# start fails loudly when a port is taken by anything else; stop ends only
# the processes that start recorded.
set -euo pipefail
TOOLS="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ACTION="${1:?start or stop}"
BUILD="$(mkdir -p "${2:?build folder}" && cd "$2" && pwd)"
STATE="$BUILD/test-servers"
WWW="$BUILD/www"
PY=/usr/bin/python3

# Ends the process of a pid file if it is still the one we started.
stop_one() {
  local pidfile="$1" marker="$2" pid
  [ -f "$pidfile" ] || return 0
  pid="$(cat "$pidfile" 2>/dev/null || true)"
  rm -f "$pidfile"
  [[ "$pid" =~ ^[0-9]+$ ]] || return 0
  if [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' < "/proc/$pid/cmdline" | grep -qF -- "$marker"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
}

port_in_use() {
  "$PY" - "$1" "$2" <<'PY'
import socket, sys
s = socket.socket()
s.settimeout(1)
sys.exit(0 if s.connect_ex((sys.argv[1], int(sys.argv[2]))) == 0 else 1)
PY
}

stop_all() {
  stop_one "$STATE/nginx.pid.run" "$STATE/nginx.conf"
  stop_one "$STATE/server.pid" "$STATE/requests.db"
}

if [ "$ACTION" = stop ]; then
  stop_all
  exit 0
fi
[ "$ACTION" = start ] || { echo "test_servers: unknown action $ACTION" >&2; exit 2; }

URL="${3:?server URL}"
REPLIES="${4:-}"
hostport="${URL#*://}"; hostport="${hostport%%/*}"
HOST="${hostport%:*}"; PORT="${hostport##*:}"
[ "$HOST" != "$hostport" ] || PORT=80
[[ "$PORT" =~ ^[0-9]+$ ]] || { echo "test_servers: no port in $URL" >&2; exit 2; }
NGINX_PORT=$((PORT + 1))
TLS_PORT=$((PORT + 2))
TLS_OTHER_NAME_PORT=$((PORT + 3))
TLS="$BUILD/tls-ca"
# Fixture packages (made here and by the server) match the build's architecture.
MINGW="$(sed -n 's/^QUORVEX_MINGW:INTERNAL=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)"
[ -z "$MINGW" ] || export MINGW

# What an earlier run left behind is ours to end.
stop_all
mkdir -p "$STATE" "$WWW/fixtures"
for p in "$PORT" "$NGINX_PORT" "$TLS_PORT" "$TLS_OTHER_NAME_PORT"; do
  if port_in_use "$HOST" "$p"; then
    echo "test_servers: port $HOST:$p is already in use by another program" >&2
    exit 1
  fi
done

# The standard fixtures, unless the build made them already.
if [ ! -f "$WWW/fixtures/large.exe" ]; then
  "$TOOLS/make_fixtures.sh" "$WWW/fixtures" "$BUILD/fixture-ca"
fi

rm -f "$STATE/requests.db" "$STATE/requests.db-wal" "$STATE/requests.db-shm"
args=(--listen "$HOST:$PORT" --db "$STATE/requests.db" --www "$WWW" --ca "$BUILD/fixture-ca")
[ -n "$REPLIES" ] && args+=(--replies "$REPLIES")
if [ -f "$TLS/good.crt" ] && [ -f "$TLS/other-name.crt" ]; then
  args+=(--tls "$HOST:$TLS_PORT,$TLS/good.crt,$TLS/good.key"
         --tls "$HOST:$TLS_OTHER_NAME_PORT,$TLS/other-name.crt,$TLS/other-name.key")
else
  echo "test_servers: no TLS certificates in $TLS (scripts/bootstrap makes them): no TLS servers" >&2
fi
"$PY" "$TOOLS/quorvex_server.py" "${args[@]}" </dev/null >"$STATE/server.log" 2>&1 &
echo $! > "$STATE/server.pid"

# nginx on the next port, configured by the generator the benchmark uses too.
# The reference deployment, as a publisher runs it, on an address of its own.
DEPLOY_WWW="$BUILD/deploy-www"
mkdir -p "$DEPLOY_WWW/packages" "$DEPLOY_WWW/replies" "$DEPLOY_WWW/download"
printf '<!doctype html><title>Quorvex</title><p>Download the installer again.\n' \
  > "$DEPLOY_WWW/download/download_lobby.html"
deploy_conf=""
rm -f "$STATE/quorvex-deploy.conf"
if [ -f "$TLS/good.crt" ]; then
  rm -f "$STATE/quorvex-reports.log"
  "$TOOLS/../deploy/render" --root "$DEPLOY_WWW" --host 127.0.0.2 --cert "$TLS/good.crt" --key "$TLS/good.key" \
    --logs "$STATE" --http "127.0.0.2:$NGINX_PORT" --https "127.0.0.2:$TLS_PORT" --sink "127.0.0.2:$TLS_OTHER_NAME_PORT" \
    > "$STATE/quorvex-deploy.conf"
  deploy_conf="  include $STATE/quorvex-deploy.conf;"
fi
http_conf="$(cat <<HTTP
$deploy_conf
  access_log $STATE/nginx-access.log;
  # What each ranged request was sent, for tests that count bytes served:
  # end time, seconds taken, URI, Range header, status, body bytes sent.
  log_format ranges '\$msec \$request_time \$request_uri "\$http_range" \$status \$body_bytes_sent';
  # Requests from below byte 3,000,000 are fast, every other one slow.
  map \$http_range \$quorvex_uneven_rate {
    "~^bytes=([0-9]{1,6}|[12][0-9]{6})-" 2m;
    default 384k;
  }
HTTP
)"
server_conf="$(cat <<SERVER
    location /slow/ {
      alias $WWW/;
      sendfile_max_chunk 64k;
      limit_rate 512k;
      access_log $STATE/nginx-ranges.log ranges;
    }
    location /uneven/ {
      alias $WWW/;
      sendfile_max_chunk 64k;
      limit_rate \$quorvex_uneven_rate;
      access_log $STATE/nginx-ranges.log ranges;
    }
SERVER
)"
"$TOOLS/nginx_conf.sh" "$STATE" "$HOST:$NGINX_PORT" "$WWW" "$http_conf" "$server_conf" > "$STATE/nginx.conf"
nginx -p "$STATE" -c "$STATE/nginx.conf" -e "$STATE/nginx-error.log" </dev/null >"$STATE/nginx.log" 2>&1 &
echo $! > "$STATE/nginx.pid.run"

for _ in $(seq 100); do
  ping="$(curl -s --max-time 1 "http://$HOST:$PORT/_control/ping" || true)"
  if [ "$ping" = "quorvex-test-server $(cat "$STATE/server.pid")" ] && port_in_use "$HOST" "$NGINX_PORT"; then
    echo "test servers: http://$HOST:$PORT (configuration, statistics, /_pkg/), http://$HOST:$NGINX_PORT (nginx, $WWW)"
    exit 0
  fi
  if ! kill -0 "$(cat "$STATE/server.pid")" 2>/dev/null || ! kill -0 "$(cat "$STATE/nginx.pid.run")" 2>/dev/null; then
    break
  fi
  sleep 0.1
done
echo "test_servers: the servers did not start" >&2
cat "$STATE/server.log" "$STATE/nginx-error.log" "$STATE/nginx.log" >&2 2>/dev/null || true
stop_all
exit 1
