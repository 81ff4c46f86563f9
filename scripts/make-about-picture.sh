#!/usr/bin/env bash
# Makes the about box's picture from one of our own renderings: renders examples/bunny.tmb with
# build/kestrel-render and turns it into the 119 x 119 colour JPEG the program carries
# (src/app/resources/about.jpg), and the same at 238 x 238 for 2x screens (about@2x.jpg). Build
# first; build again afterwards so the program has them.
set -euo pipefail
cd "$(dirname "$0")/.."
model=examples/bunny.tmb
pictures=src/app/resources
[ -f "$model" ] || { echo "make-about-picture: $model is missing" >&2; exit 1; }
[ -x build/kestrel-render ] || { echo "make-about-picture: build/kestrel-render is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/kestrel-render "$model" -o "$work/bunny.png" --size 400x400
# Cut the frame down to the model, keep a few pixels of its black around it, and square it.
for scale in 1 2; do
  picture=$pictures/about.jpg
  [ "$scale" = 1 ] || picture=$pictures/about@${scale}x.jpg
  convert "$work/bunny.png" -fuzz 3% -trim +repage -resize $((111 * scale))x$((111 * scale)) \
    -background black -gravity center -extent $((119 * scale))x$((119 * scale)) \
    -strip -quality 92 -sampling-factor 1x1 "$picture"
  identify "$picture"
done
