#!/usr/bin/env bash
# Draws the installer's icon: a blue rounded tile with a white download arrow
# over a progress bar, at the sizes Windows asks for.
set -euo pipefail
out="$1"
tmp="$(mktemp -d)"; trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  \( -size 256x256 gradient:'#3aa0ff'-'#1456c8' \) \
  \( -size 256x256 xc:none -fill white -draw 'roundrectangle 8,8 247,247 48,48' \) \
  -compose DstIn -composite \
  -fill white -stroke none \
  -draw 'rectangle 108,44 148,132' \
  -draw 'polygon 72,124 184,124 128,184' \
  -fill '#ffffff66' -draw 'roundrectangle 56,200 200,220 10,10' \
  -fill white -draw 'roundrectangle 56,200 150,220 10,10' \
  "$tmp/icon256.png"
convert "$tmp/icon256.png" -define icon:auto-resize=256,48,32,16 "$out"
