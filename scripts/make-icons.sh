#!/usr/bin/env bash
# Renders the program's icon, data/icons/hicolor/scalable/apps/kestrel.svg, into the PNG sizes
# of the hicolor theme beside it. The program carries these PNGs (window icon) and installs them;
# run this after changing the SVG and commit the PNGs with it. A test checks that they match.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || { echo "make-icons: rsvg-convert is missing (scripts/setup.sh)" >&2; exit 1; }
theme=data/icons/hicolor
for size in 16 32 48 64 128 256; do
  mkdir -p "$theme/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" "$theme/scalable/apps/kestrel.svg" \
    --output "$theme/${size}x${size}/apps/kestrel.png"
done
ls -l "$theme"/*/apps/kestrel.*
