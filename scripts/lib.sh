# Shared by the scripts: where things are, and the virtual display and Wine
# session that the programs run in.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
export WINEPREFIX="$BUILD/wineprefix" WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

QUORVEX_XVFB_PID=""

# Starts a virtual display when there is none, so windows can be created.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    QUORVEX_XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$QUORVEX_XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
  done
  echo "could not start a virtual display" >&2
  return 1
}

# Keeps one wineserver (and Wine's own services) alive for the whole run:
# every program then starts in a fraction of a second. The services are
# started here with no terminal attached, so they never hold a test's output
# pipe open.
start_wine_session() {
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QUORVEX_XVFB_PID" ]; then kill "$QUORVEX_XVFB_PID" 2>/dev/null || true; fi
}
