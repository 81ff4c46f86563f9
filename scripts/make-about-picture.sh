#!/usr/bin/env bash
# Makes the about box's picture from one of our own renderings: renders examples/bunny.tmb with
# build/kestrel-render and turns it into the 119 x 119 colour JPEG the program carries
# (src/app/resources/about.jpg). Build first; build again afterwards so the program has it.
set -euo pipefail
cd "$(dirname "$0")/.."
model=examples/bunny.tmb
picture=src/app/resources/about.jpg
[ -f "$model" ] || { echo "make-about-picture: $model is missing" >&2; exit 1; }
[ -x build/kestrel-render ] || { echo "make-about-picture: build/kestrel-render is not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/kestrel-render "$model" -o "$work/bunny.png" --size 400x400
# Cut the frame down to the model, keep a few pixels of its black around it, and square it.
convert "$work/bunny.png" -fuzz 3% -trim +repage -resize 111x111 \
  -background black -gravity center -extent 119x119 \
  -strip -quality 92 -sampling-factor 1x1 "$picture"
identify "$picture"
