#!/usr/bin/env bash
# The real window on an X server of its own, driven through the server as a user drives it: a
# left drag turns the model; with Free Spin ticked a released drag keeps it turning and a still
# click stops it; "Center" returns to the fitted picture; a right drag pans; arrow keys with the
# focus on a check box turn the view and leave the focus and the box alone; the wheel zooms over
# the drawing area and over the memo. Wherever the view is known exactly, the frame must equal,
# pixel for pixel, kestrel-render's picture of that view. The model must draw the same picture
# whatever order earlier frames left its equal-depth segments in (tests/examples_test.cpp).
# Usage: interaction_e2e.sh PATH/TO/kestrel PATH/TO/kestrel-render MODEL
# With KESTREL_E2E_KEEP=FOLDER, a failed run leaves its pictures and logs there (e2e_support.sh).
set -Eeuo pipefail

program=$1
render=$2
model=$3
name=e2e_interaction
limit=60 # seconds for the whole test; a step that hangs ends it here, cleaned up

source "$(dirname "$0")/e2e_support.sh"
e2e_begin "$limit"

start_window "$model"

# --- 1. The first picture: the model fitted to the frame. ---
reference_fitted() { reference fitted; }
await_first_picture fitted reference_fitted
say "start: frame ${frame_w}x${frame_h} at client (192, 0), menu bar $menu_h high," \
  "equals kestrel-render's fitted picture"

# The client points used below: the drawing area, its quiet corner, and the panel's controls.
drag_x=420 drag_y=200
rest_x=$((192 + frame_w - 20)) rest_y=$((frame_h - 20))
memo_x=90 memo_y=80
point $rest_x $rest_y

# --- 2. A left drag turns the model; without Free Spin the release leaves it still. ---
point $drag_x $drag_y
xdotool mousedown 1
point $((drag_x + 10)) $((drag_y + 4))
await_change "left drag"
point $((drag_x + 25)) $((drag_y + 10))
xdotool mouseup 1
await_still "left drag released without Free Spin"
say "left drag: the model turned, and stays put after the release"

# --- 3. Free Spin: a released drag keeps turning; a click without moving stops it. ---
grab_panel before_tick
point 64 304 # the Free Spin box
xdotool click 1
point $rest_x $rest_y
await grab_panel before_tick changed ticked "ticking Free Spin changed nothing"
changed_only_within before_tick ticked 56 296 121 313 some "ticking Free Spin"
fling
say "free spin: the picture keeps changing after the release, with no input"
xdotool click 1
await_still "a click without moving"
say "free spin: a click without moving stopped it"

# --- 4. Center returns to the fitted picture; a right drag pans it pixel for pixel. ---
point 86 372 # the Center button
xdotool click 1
await_picture fitted "Center"
say "Center: the frame equals kestrel-render's fitted picture again"
reference pan_10_5 --pan 10,5
point $drag_x $drag_y
xdotool mousedown 3
point $((drag_x + 10)) $((drag_y - 5))
xdotool mouseup 3
await_picture pan_10_5 "a right drag 10 pixels right and 5 up"
say "right drag: the picture moved with the pointer as kestrel-render --pan 10,5 draws it"
point 86 372
xdotool click 1
await_picture fitted "Center after the right drag"
point $rest_x $rest_y

# --- 5. Arrow keys with the focus on a check box, and the wheel. ---
# Tab moves the focus from Center, just clicked, to Fill Circles, next in the tab order.
grab_panel focus_on_center
reference turn_5_0 --turn 5,0
reference turn_5_5 --turn 5,5
reference turn_5_5_zoom --turn 5,5 --zoom 0.96
reference turn_5_5_zoom_pan --turn 5,5 --zoom 0.96 --pan 10,0
xdotool key Tab Left
await_picture turn_5_0 "Left with the focus on Fill Circles"
grab_panel keys_1
changed_only_within focus_on_center keys_1 56 328 121 385 any "Tab and Left"
say "Left: the view turned 5 degrees as kestrel-render --turn 5,0 draws it"
xdotool key Up
await_picture turn_5_5 "Up with the focus on Fill Circles"
grab_panel keys_2
differ keys_1 keys_2
[ "$diff" -eq 0 ] || fail "Up changed the side panel (the focus or a box moved)"
say "Up: the view turned as kestrel-render --turn 5,5 draws it; the panel is unchanged"

extent_before=$(extent last)
point $drag_x $drag_y
xdotool click 5
await_picture turn_5_5_zoom "a wheel notch toward the user over the drawing area"
read -r w0 h0 <<<"$extent_before"
read -r w1 h1 <<<"$(extent last)"
((w1 < w0 && h1 < h0)) || fail "the wheel over the drawing area: not smaller"
point $rest_x $rest_y
say "wheel over the drawing area: zoomed out as kestrel-render --zoom 0.96 draws it"

xdotool key ctrl+Right
await_picture turn_5_5_zoom_pan "Ctrl+Right with the focus on Fill Circles"
grab_panel keys_3
differ keys_2 keys_3
[ "$diff" -eq 0 ] || fail "Ctrl+Right changed the side panel (the focus or a box moved)"
say "Ctrl+Right: the picture moved 10 pixels right; the panel is unchanged"

point $memo_x $memo_y
xdotool click 4
await_change "a wheel notch away from the user over the memo"
read -r w2 h2 <<<"$(extent last)"
((w2 > w1 && h2 > h1)) || fail "the wheel over the memo: not larger"
say "wheel over the memo: zoomed in"
point $rest_x $rest_y

# The keys went to the form, not the box, and the focus is still on Fill Circles: Space, which
# the form leaves alone, ticks that box and no other, and ticks it back.
grab_panel keys_4
differ keys_3 keys_4
[ "$diff" -eq 0 ] || fail "the wheel changed the side panel"
xdotool key space
await grab_panel keys_4 changed spaced "Space changed nothing: the focus left Fill Circles"
changed_only_within keys_4 spaced 56 328 121 345 some "Space, the focus still on Fill Circles"
xdotool key space
await grab_panel keys_4 same unspaced "a second Space did not untick Fill Circles"
say "keys: the focus stayed on Fill Circles, which the arrows left unticked"

# --- 6. The wheel with Alt held, which X11 hands on as a sideways turn, zooms all the same. ---
# Releasing Alt then hands the keyboard to the menu bar, as a tap of Alt does; the mouse goes on.
point $memo_x $memo_y
xdotool keydown alt click 5 keyup alt
await_change "a wheel notch with Alt held over the memo"
read -r w3 h3 <<<"$(extent last)"
((w3 < w2 && h3 < h2)) || fail "the wheel with Alt over the memo: not smaller"
say "wheel with Alt held over the memo: zoomed out"

# --- 7. Center once more, after turns, pans and zooms. ---
point 86 372
xdotool click 1
await_picture fitted "Center after the keys and the wheel"
say "Center: the frame equals kestrel-render's fitted picture again"
alive
say "ok"
