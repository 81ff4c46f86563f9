#!/usr/bin/env bash
# The real window on a 2x screen (QT_SCALE_FACTOR=2 on an X server of its own): the drawing area
# grabbed from the server must equal, pixel for pixel, kestrel-render's picture at twice the
# logical frame size, at start, after a wheel notch and after a right drag; and the hand cursors
# must be the ones drawn for 2x screens, pointing where the small ones point.
# Usage: hidpi_e2e.sh PATH/TO/kestrel PATH/TO/kestrel-render MODEL PATH/TO/cursor_probe
set -Eeuo pipefail

program=$1
render=$2
model=$3
probe=$4
name=e2e_hidpi
scale=2
screen=2048x1536

source "$(dirname "$0")/e2e_support.sh"
e2e_begin 60

start_window "$model"
# Twice the logical 672 x 462: every logical pixel two device pixels each way.
[ "$win_w" = 1344 ] && [ "$win_h" = 924 ] || fail "the window is ${win_w}x${win_h}, not 1344x924"

reference_fitted() { reference fitted; }
await_first_picture fitted reference_fitted
[ $((frame_w % 2)) = 0 ] && [ $((frame_h % 2)) = 0 ] ||
  fail "the frame is ${frame_w}x${frame_h}, not twice a logical size"
say "start: frame ${frame_w}x${frame_h} device pixels at (384, $menu_h), equals" \
  "kestrel-render --size ${frame_w}x${frame_h}"

# A wheel notch toward the user over the drawing area, then a right drag of 20 device pixels
# right and 10 up: the model follows the pointer exactly.
drag_x=840 drag_y=400
reference zoomed --zoom 0.96
reference zoomed_panned --zoom 0.96 --pan 20,10
point $drag_x $drag_y
xdotool click 5
await_picture zoomed "a wheel notch"
say "wheel: zoomed out as kestrel-render --zoom 0.96 draws it"

# The cursor over the drawing area is the open hand drawn for 2x screens.
read -r cw ch hx hy < <("$probe")
[ "$cw $ch $hx $hy" = "64 64 14 40" ] || fail "the open hand is ${cw}x${ch} at ($hx, $hy)"
xdotool mousedown 3
read -r cw ch hx hy < <("$probe")
[ "$cw $ch $hx $hy" = "64 64 14 40" ] || fail "the closed hand is ${cw}x${ch} at ($hx, $hy)"
point $((drag_x + 20)) $((drag_y - 10))
xdotool mouseup 3
await_picture zoomed_panned "a right drag 20 device pixels right and 10 up"
say "right drag: the picture moved with the pointer as kestrel-render --pan 20,10 draws it"
say "cursors: both hands 64 x 64 with the hot spot at (14, 40)"
alive
say "ok"
