#!/usr/bin/env bash
# Prints the nginx configuration of a test or benchmark server: nginx in the
# foreground as one process (no daemon, no workers switching user) with every
# path under DIR, so it runs as root or not, serving ROOT on LISTEN with real
# Range support. HTTP and SERVER are the caller's own lines at the http and
# at the server level: log formats, maps, access logs, rate-limited locations.
# Rate-limited locations want small sends (sendfile_max_chunk 64k): nginx
# pauses after each send for as long as its size takes at the rate, and a
# pause near a second would look like a stall.
#
# Usage: nginx_conf.sh DIR LISTEN ROOT [HTTP] [SERVER] > DIR/nginx.conf
# then:  nginx -p DIR -c DIR/nginx.conf -e DIR/nginx-error.log
# nginx's pid goes to DIR/nginx.pid, its temporary files under DIR/nginx-temp.
set -euo pipefail
DIR="${1:?state folder}" LISTEN="${2:?host:port}" ROOT="${3:?document root}"
HTTP="${4:-}" SERVER="${5:-}"

# Only the temporary paths this nginx was built with: the others are unknown
# directives to it.
temp_paths=""
for m in client_body fastcgi proxy scgi uwsgi; do
  if nginx -V 2>&1 | grep -q -- "--http-${m//_/-}-temp-path"; then
    mkdir -p "$DIR/nginx-temp/$m"
    temp_paths+="  ${m}_temp_path $DIR/nginx-temp/$m;"$'\n'
  fi
done

cat <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $DIR/nginx.pid;
error_log $DIR/nginx-error.log warn;
events { worker_connections 512; }
http {
$temp_paths  default_type application/octet-stream;
  sendfile on;
$HTTP
  server {
    listen $LISTEN;
    root $ROOT;
    location / { }
$SERVER
  }
}
CONF
