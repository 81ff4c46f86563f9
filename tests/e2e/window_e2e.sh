#!/usr/bin/env bash
# The real window on a real X server (run under xvfb-run, no window manager): it opens at its
# outer size in the middle of the screen, shows the empty frame right of the side panel, and
# File > Exit ends the program with success.
# Usage: window_e2e.sh PATH/TO/kestrel
set -euo pipefail
# shellcheck source=menu_exit.sh
source "$(dirname "$0")/menu_exit.sh"
program=$1
work=$(mktemp -d)
"$program" >"$work/out.txt" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "window_e2e: $*" >&2; exit 1; }

id=$(timeout 20 xdotool search --sync --onlyvisible --name '^Kestrel$' | head -n 1) ||
  fail "no window named Kestrel appeared"
sleep 1
read -r x y w h < <(xwininfo -id "$id" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
[ "$w" = 672 ] && [ "$h" = 462 ] || fail "window is ${w}x${h}, not 672x462"
read -r sw sh < <(xdotool getdisplaygeometry)
[ $((x + w / 2 - sw / 2)) -ge -1 ] && [ $((x + w / 2 - sw / 2)) -le 1 ] || fail "not centred across"
[ $((y + h / 2 - sh / 2)) -ge -1 ] && [ $((y + h / 2 - sh / 2)) -le 1 ] || fail "not centred down"

import -window root "$work/shot.png"
pixel() { convert "$work/shot.png" -format "%[hex:p{$1,$2}]" info: | cut -c1-6; }
# The frame starts 192 pixels in and ends 7 above the bottom; the window's colour is around it.
frame=$(pixel $((x + 200)) $((y + h - 20)))
[ "$frame" = 000000 ] || fail "frame pixel is $frame, not black"
gap=$(pixel $((x + 188)) $((y + h - 20)))
margin=$(pixel $((x + w - 3)) $((y + h - 20)))
below=$(pixel $((x + 400)) $((y + h - 3)))
[ "$gap" != 000000 ] && [ "$gap" = "$margin" ] && [ "$gap" = "$below" ] ||
  fail "margins are $gap, $margin, $below: not one background colour"

exit_through_menu "$id" "$pid"
echo "window_e2e: ok"
