#!/usr/bin/env bash
# Renders the PNG icons from the hand-drawn SVGs in icons/ (one folder per size, committed, so
# building and packaging never need a renderer). Run after changing an SVG; needs rsvg-convert
# (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/icons"
command -v rsvg-convert >/dev/null || { echo "render-icons: rsvg-convert is missing (apt-get install librsvg2-bin)" >&2; exit 1; }
for svg in *.svg; do
  for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" "$svg" -o "${size}x${size}/${svg%.svg}.png"
  done
done
echo "render-icons: $(ls ./*x*/*.png | wc -l) PNG files written"
