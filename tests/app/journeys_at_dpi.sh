#!/usr/bin/env bash
# Usage: journeys_at_dpi.sh DPI BUILD COMMAND...
# Runs COMMAND (journeys.py) against a private copy of the build's prefix at
# DPI, with a wineserver of its own that ends with it: the shared prefix and
# its session are never touched.
set -euo pipefail
dpi="$1" build="$2"
shift 2
prefix="$build/dpi-prefixes/journeys-$dpi"
"$(dirname "$0")/../../scripts/dpi-prefix" "$build" "$dpi" "$prefix"
export QUORVEX_PREFIX="$prefix" QUORVEX_DPI="$dpi" WINEPREFIX="$prefix"
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$prefix"' EXIT
# Kept up for the whole run, as the shared session is: programs start at once.
wineserver -p </dev/null >/dev/null 2>&1
"$build/wine-run" cmd /c exit </dev/null >/dev/null 2>&1 || true
"$@"
