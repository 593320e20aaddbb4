#!/usr/bin/env bash
# Draws the program's icon (a globe with a sorting arrow) and writes resources/netsorter.ico
# with the sizes Windows asks for. Needs ImageMagick. Rerunnable; the output is committed.
set -euo pipefail
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 256x256 xc:none \
  -fill '#1565c0' -stroke '#0d3c75' -strokewidth 8 -draw 'circle 128,128 128,12' \
  -fill none -stroke '#e3f2fd' -strokewidth 9 \
  -draw 'ellipse 128,128 48,112 0,360' \
  -draw 'line 128,18 128,238' -draw 'line 18,128 238,128' \
  -draw 'line 36,72 220,72' -draw 'line 36,184 220,184' \
  -fill '#ffb300' -stroke '#7a4f00' -strokewidth 6 \
  -draw 'polygon 150,150 246,150 246,122 254,122 254,198 246,198 246,176 150,176' \
  "$tmp/icon.png"
for s in 16 24 32 48 64 256; do
  convert "$tmp/icon.png" -resize ${s}x${s} "$tmp/icon-$s.png"
done
convert "$tmp"/icon-{16,24,32,48,64,256}.png resources/netsorter.ico
echo "wrote resources/netsorter.ico"
