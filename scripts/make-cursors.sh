#!/usr/bin/env bash
# Draws the hand cursors for 2x screens (src/app/resources/cursors/*@2x.xpm) from the 32 x 32
# ones beside them: each hand is doubled, its outline smoothed into curves and made two pixels
# wide again, so that the cursor keeps its shape and weight but loses the steps of the small
# one. Run it after changing a 32 x 32 cursor and commit both; the window tests hold the pair
# to the same shape.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v convert >/dev/null || { echo "make-cursors: ImageMagick is missing (scripts/setup.sh)" >&2; exit 1; }
folder=src/app/resources/cursors
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in flat_hand grab_hand; do
  small=$folder/$name.xpm
  # Where the hand is, doubled and smoothed, and what lies two pixels or more inside it.
  convert "$small" -alpha extract -filter point -resize 200% -blur 0x1.3 -threshold 50% \
    "$work/shape.png"
  convert "$work/shape.png" -morphology Erode Square:1 "$work/inside.png"
  # The white of the hand, doubled and smoothed, kept inside the outline.
  convert "$small" -background black -alpha remove -alpha off -colorspace gray -filter point \
    -resize 200% -blur 0x1.0 -threshold 50% "$work/inside.png" -compose Multiply -composite \
    "$work/white.png"
  convert "$work/white.png" "$work/shape.png" -alpha off -compose CopyOpacity -composite \
    "$work/hand.png"
  # Written as the small one is: " " clear, "." white, "#" black, one row a line.
  {
    printf '/* XPM */\nstatic const char* %s_2x[] = {\n"64 64 3 1",\n' "$name"
    printf '"  c None",\n". c #FFFFFF",\n"# c #000000",\n'
    convert "$work/hand.png" -depth 8 -type TrueColorAlpha txt:- | awk '
      NR > 1 && match($0, /#[0-9A-F]+/) {
        split($1, at, /[,:]/)
        hex = substr($0, RSTART + 1, 8)
        row[at[2]] = row[at[2]] (substr(hex, 7, 2) == "00" ? " " : (substr(hex, 1, 6) == "FFFFFF" ? "." : "#"))
      }
      END { for (y = 0; y < 64; y++) printf "\"%s\"%s\n", row[y], (y < 63 ? "," : "") }'
    printf '};\n'
  } >"$folder/$name@2x.xpm"
done
ls -l "$folder"/*@2x.xpm
