# Shared by the scripts: where things are, and the virtual display and Wine
# session that the programs run in.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${BUILD_DIR:-$ROOT/build}"
export WINEPREFIX="$BUILD/wineprefix" WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

# The installer is a 32-bit program and is built and tested as one wherever
# this machine runs 32-bit code. Some hosts cannot (a hypervisor without a
# 32-bit user mode: every i386 ELF, Wine's loader included, fails with "Exec
# format error"); there the same sources are built for 64-bit Windows and
# tested under 64-bit Wine. QUORVEX_ARCH=i686|x86_64 forces the choice.
runs_32bit_code() {
  /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

host_arch() {
  if [ -n "${QUORVEX_ARCH:-}" ]; then
    echo "$QUORVEX_ARCH"
  elif runs_32bit_code; then
    echo i686
  else
    echo x86_64
  fi
}

# Sets the build preset and the Wine of the host's architecture: PRESET,
# WINE (the loader to run programs with), WINEARCH.
use_host_arch() {
  if [ "$(host_arch)" = i686 ]; then
    PRESET=mingw WINE=wine
    export WINEARCH=win32
  else
    # /usr/bin/wine would pick the 32-bit loader whenever wine32 is installed.
    PRESET=mingw64 WINE=/usr/lib/wine/wine64
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
  fi
}

# Configures and builds TARGETs (all when none) in the build folder.
configure_and_build() {
  use_host_arch
  cmake --preset "$PRESET" -B "$BUILD" >/dev/null
  if [ $# -gt 0 ]; then cmake --build "$BUILD" --target "$@"; else cmake --build "$BUILD"; fi
}

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
  # A server still up from the build or an earlier run holds the prefix's
  # lock, and -p fails on it: end it first.
  wineserver -k </dev/null >/dev/null 2>&1 || true
  wineserver -w </dev/null >/dev/null 2>&1 || true
  wineserver -p </dev/null >/dev/null 2>&1
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

stop_session() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QUORVEX_XVFB_PID" ]; then kill "$QUORVEX_XVFB_PID" 2>/dev/null || true; fi
  QUORVEX_XVFB_PID=""
}
