#!/usr/bin/env bash
# Renders the PNG sizes of the hicolor theme from the two SVG icons. Run after
# changing an SVG and commit the PNGs (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps" "hicolor/${size}x${size}/mimetypes"
  rsvg-convert -w "$size" -h "$size" vtrpro.svg -o "hicolor/${size}x${size}/apps/vtrpro.png"
  rsvg-convert -w "$size" -h "$size" application-x-vtrrule.svg \
    -o "hicolor/${size}x${size}/mimetypes/application-x-vtrrule.png"
done
