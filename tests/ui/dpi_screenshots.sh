#!/usr/bin/env bash
# Runs the screenshot tests at 120, 144 and 192 DPI. A DPI change needs its
# own wineserver, so each scale gets a private copy of the build's prefix;
# the shared prefix is never touched.
set -euo pipefail
build="$1"
exe="$build/tests/ui/test_ui.exe"
work="$build/dpi-prefixes"
status=0
for dpi in 120 144 192; do
  prefix="$work/$dpi"
  "$(dirname "$0")/../../scripts/dpi-prefix" "$build" "$dpi" "$prefix"
  export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" QUORVEX_BINARY_DIR="$build"
  if ! wine "$exe" --gtest_filter='Screenshot.*' >"$work/$dpi.log" 2>&1; then
    echo "screenshots at $dpi DPI failed:" >&2; cat "$work/$dpi.log" >&2; status=1
  fi
  [ -f "$build/screenshots/main_wnd_$dpi.bmp" ] || { echo "no main_wnd_$dpi.bmp: the DPI was not taken" >&2; status=1; }
  # The message's glyphs are 14 px tall at 96 DPI; drawn at the real size
  # they grow with the scale (a stretched bitmap would also, but blurred:
  # the font height is what is checked here, sharpness by looking).
  box="$build/screenshots/msgbox_$dpi.bmp"
  if [ -f "$box" ]; then
    read -r w h < <(identify -format '%w %h\n' "$box")
    ink=$(convert "$box" -crop $((w * 6 / 10))x$((h * 2 / 10))+$((w * 2 / 10))+$((h * 3 / 10)) +repage \
      -colorspace gray -threshold 70% -negate -trim -format '%h' info:)
    want=$((14 * dpi / 96))
    echo "$dpi DPI: box ${w}x${h}, message glyph height $ink (about $want)"
    if [ $((ink - want)) -gt 2 ] || [ $((want - ink)) -gt 2 ]; then
      echo "glyphs at $dpi DPI are $ink px tall, not about $want" >&2; status=1
    fi
  fi
  wineserver -k || true
  rm -rf "$prefix"
done
exit $status
