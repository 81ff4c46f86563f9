#!/usr/bin/env bash
# The window stays responsive while a model of a million segments spins freely: key presses
# sent during the spin are each handled, in the order they were sent, and a click stops the
# spin. Keys that tick check boxes show that they were handled: Shift+Tab moves the focus up
# the column of boxes and Space ticks or unticks the box in focus, so the three boxes that end
# up changed, and where the focus ends up, say that all six keys were handled and in which
# order. Nothing here is timed: every step waits for what it expects, within the test's limit.
# Usage: spin_e2e.sh PATH/TO/kestrel
set -Eeuo pipefail

program=$1
name=e2e_spin
limit=180 # seconds for the whole test; a step that hangs ends it here, cleaned up
# shellcheck source=tests/e2e/e2e_support.sh
source "$(dirname "$0")/e2e_support.sh"
e2e_begin "$limit"

# A knot of 1,000,001 points joined by 1,000,000 lines in the six colours.
model=$work/knot.tmb
awk 'BEGIN {
  n = 1000000
  for (i = 0; i <= n; i++) {
    t = i * 6.283185307179586 / n * 50
    r = 2 + cos(2.02 * t)
    printf "%.5f %.5f %.5f %d\n", cos(t) * r, sin(t) * r, sin(2.02 * t) + i / n, i == 0 ? 0 : 1 + i % 6
  }
}' >"$model"
start_window "$model"

# The first picture: a frame with the model in it.
for _ in $(seq 400); do
  alive
  find_menu_height
  if [ "$menu_h" -ge 0 ]; then
    grab last
    [ "$(extent last)" != "0 0" ] && break
  fi
  sleep 0.05
done
[ "$menu_h" -ge 0 ] || fail "start: found no black frame at client x = 192"
say "start: the model of a million lines is drawn"

# The check boxes down the panel, by the client y of their middles.
declare -A box_y=([antialias]=176 [fade]=208 [flipz]=240 [whiteback]=272 [freespin]=304
  [fillcircles]=336)
# Whether a box is ticked in the panel picture `panel`: its inside is not all white.
ticked() {
  local mean
  mean=$(convert "$work/$1.png" -crop "6x6+61+$((box_y[$2] - boxes_top - 3))" +repage \
    -colorspace gray -format '%[fx:minima]' info:)
  awk -v m="$mean" 'BEGIN {exit !(m < 0.5)}'
}
expect_ticks() { # panel, then each box as box=1 or box=0
  local panel=$1 box want
  shift
  for pair in "$@"; do
    box=${pair%=*} want=${pair#*=}
    if ticked "$panel" "$box"; then
      [ "$want" = 1 ] || fail "$panel: $box is ticked"
    else
      [ "$want" = 0 ] || fail "$panel: $box is not ticked"
    fi
  done
}

drag_x=420 drag_y=200
rest_x=$((192 + frame_w - 20)) rest_y=$((frame_h - 20))

# Free Spin ticked by a click, which also puts the focus on it; then a drag set free.
grab_panel before_tick
point 64 "${box_y[freespin]}"
xdotool click 1
point $rest_x $rest_y
await grab_panel before_tick changed ticked "ticking Free Spin changed nothing"
expect_ticks ticked antialias=1 fade=1 flipz=0 whiteback=0 freespin=1 fillcircles=0
fling
say "free spin: the million lines keep turning with no input"

# Six keys while it spins, then a click. In the order sent, they tick White Back and Flip Z and
# untick Fade, and leave the focus on Fade; in any other order, other boxes. They are sent 20 ms
# apart, a few frames of the spin in all. Sent with no delay they share one server time, and on
# a busy machine, queued behind a frame, the last Space was then seen pressed and never
# released: Qt's X11 input tells auto-repeat by the times of a release and the presses after it.
xdotool key --delay 20 shift+Tab space shift+Tab space shift+Tab space
xdotool click 1
await_still "the click after the keys"
say "a click during the spin stopped it"
grab_panel after_keys
expect_ticks after_keys antialias=1 fade=0 flipz=1 whiteback=1 freespin=1 fillcircles=0
say "the six keys sent during the spin were each handled, in order"
# The focus is on Fade: one more Space ticks it again (on its release; the box looks pressed
# in between) and changes no other box.
xdotool key space
for _ in $(seq 100); do
  alive
  grab_panel refocused
  ticked refocused fade && break
  sleep 0.05
done
expect_ticks refocused antialias=1 fade=1 flipz=1 whiteback=1 freespin=1 fillcircles=0
changed_only_within after_keys refocused 56 200 121 217 some "Space with the focus on Fade"
alive
say "ok"
