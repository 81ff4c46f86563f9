#!/usr/bin/env bash
# The real window's file habits, driven through an X server of its own as a user drives them:
# the empty window's hint over the frame; Ctrl+O and a name typed into the dialog; a turn, then
# the file changed on disk and F5, which shows the new file in the turned view; and the next run,
# which opens the file again from File > Open Recent, saves the picture as PNG and as BMP through
# Save Image As, and is shown a file the reader refuses. Wherever the view is known, the frame
# must equal kestrel-render's picture of it, pixel for pixel.
# Usage: files_e2e.sh PATH/TO/kestrel PATH/TO/kestrel-render
set -Eeuo pipefail

program=$1
render=$2
name=e2e_files

source "$(dirname "$0")/e2e_support.sh"
e2e_begin 60

# A pyramid of coloured edges: `pyramid BASE SIDES` gives its base and its sides those colour codes.
model=$work/models/pyramid.tmb
mkdir -p "$work/models"
pyramid() {
  printf '# A pyramid\n\n-1 0 -1 0\n1 0 -1 %s\n1 0 1 %s\n-1 0 1 %s\n-1 0 -1 %s\n0 1.5 0 %s\n1 0 1 %s\n' \
    "$1" "$1" "$1" "$1" "$2" "$2" >"$model"
}
pyramid 2 3

# Waits until the program shows the main window alone ("gone": a dialog or menu has closed) or
# a second one besides ("up").
await_dialog() {
  local want=$1 what=$2 shown
  for _ in $(seq 100); do
    shown=$(xdotool search --onlyvisible --pid "$kestrel_pid" 2>/dev/null | wc -l)
    { [ "$want" = gone ] && [ "$shown" -le 1 ]; } || { [ "$want" = up ] && [ "$shown" -ge 2 ]; } &&
      return 0
    sleep 0.05
  done
  fail "$what: the dialog is not $want after 5 s"
}

# Starts the window without a model and finds its black frame.
start_empty_window() {
  start_window
  for _ in $(seq 100); do
    find_menu_height
    [ "$menu_h" -ge 0 ] && return 0
    sleep 0.05
  done
  fail "start: found no black frame at client x = 192"
}

# --- 1. No model yet: one line of light text across the middle of the black frame. ---
start_empty_window
grab empty
read -r hint_w hint_h hint_x hint_y < <(convert "$work/empty.png" -trim -format '%w %h %X %Y\n' info: |
  tr -d '+')
((hint_w > 150 && hint_h < 20)) || fail "the hint is ${hint_w}x${hint_h}, not one line of text"
middle=$(((hint_y + hint_h / 2) - frame_h / 2))
((middle >= -2 && middle <= 2)) || fail "the hint is not across the middle (${middle} px off)"
brightest=$(convert "$work/empty.png" -colorspace gray -format '%[fx:int(255*maxima)]' info:)
((brightest > 100 && brightest <= 160)) || fail "the hint's brightest pixel is $brightest"
say "no model: the hint, ${hint_w}x${hint_h}, across the middle of the frame"

# --- 2. Ctrl+O, a name typed into the dialog: the model, fitted. ---
# A click gives the window the keyboard (there is no window manager to give it).
point 400 200
xdotool click 1
xdotool key ctrl+o
await_dialog up "Ctrl+O"
xdotool type --delay 5 "$model"
xdotool key Return
await_dialog gone "Open"
reference fitted MODEL="$model"
await_picture fitted "the model opened with Ctrl+O"
say "Ctrl+O: the model typed into the dialog opened, as kestrel-render draws it"

# --- 3. A turn, then the file changes and F5: the new file in the turned view. ---
# The window has the keyboard back once it is clicked again: without a window manager nothing
# gives it back when the dialog goes.
reference turned MODEL="$model" --turn 5,0
point 400 200
xdotool click 1
xdotool key Left
await_picture turned "Left"
pyramid 4 5
reference reloaded MODEL="$model" --turn 5,0
xdotool key F5
await_picture reloaded "F5 after the file changed"
say "F5: the changed file is shown in the view the user had"

# --- 4. The next run: File > Open Recent > 1 opens it again, fitted. ---
end_window
start_empty_window
xdotool mousemove --window "$win" 15 10 click 1
sleep 0.3
xdotool key Down Down Right
sleep 0.3
xdotool key 1
await_dialog gone "Open Recent"
reference reopened MODEL="$model"
await_picture reopened "the first of the recent files"
say "Open Recent: the file opened in the last run is the first entry, and opens"

# --- 5. Save Image As: a name typed with .png while the dialog offers BMP gives a PNG; a bare
# name takes the filter's extension, .bmp. Both hold the frame, pixel for pixel. ---
# `save_image NAME`: File > Save Image As (the fifth entry), NAME typed, the file written.
save_image() {
  xdotool mousemove --window "$win" 15 10 click 1
  sleep 0.3
  xdotool key Down Down Down Down Down Return
  await_dialog up "Save Image As"
  xdotool type --delay 5 "$work/$1"
  xdotool key Return
  await_dialog gone "Save Image As"
  for _ in $(seq 100); do
    [ -s "$work/$2" ] && return 0
    sleep 0.05
  done
  fail "Save Image As $1: no $2 after 5 s"
}
magic() { head -c "$2" "$work/$1" | od -An -tx1 | tr -d ' \n'; }
save_image shot.png shot.png
[ "$(magic shot.png 8)" = 89504e470d0a1a0a ] || fail "shot.png does not hold a PNG"
differ shot reopened
[ "$diff" -eq 0 ] || fail "the saved PNG differs from the frame in $diff pixels"
save_image shot shot.bmp
[ "$(magic shot.bmp 2)" = 424d ] || fail "shot.bmp does not hold a BMP"
convert "$work/shot.bmp" "$work/shot_bmp.png"
differ shot_bmp reopened
[ "$diff" -eq 0 ] || fail "the saved BMP differs from the frame in $diff pixels"
say "Save Image As: shot.png is a PNG and a bare name a BMP, both the frame as it is"

# --- 6. A file the reader refuses: the box says what and where, on its second line; the model
# on screen stays. The box's text is copied as a user would copy it (Ctrl+C). ---
printf '# bad\n\n0 0 0 0\n1,5 2 3 1\n' >"$work/models/bad.tmb"
point 400 200
xdotool click 1
xdotool key ctrl+o
await_dialog up "Ctrl+O"
xdotool type --delay 5 "$work/models/bad.tmb"
xdotool key Return
box=""
for _ in $(seq 100); do
  for w in $(xdotool search --onlyvisible --pid "$kestrel_pid" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = kestrel ] && box=$w
  done
  [ -n "$box" ] && break
  sleep 0.05
done
[ -n "$box" ] || fail "no message box for bad.tmb after 5 s"
# The box may take a moment to have the keyboard: copy until the clipboard holds its text.
copied=""
for _ in $(seq 50); do
  xdotool key ctrl+c
  sleep 0.1
  copied=$(timeout 5 xclip -o -selection clipboard -t UTF8_STRING 2>/dev/null) || copied=""
  [ -n "$copied" ] && break
done
[ -n "$copied" ] || fail "the box's text could not be copied"
grep -qx 'Error reading text file' <<<"$copied" || fail "the box does not say the fixed text: $copied"
grep -qxF 'bad.tmb, line 4, column 1: "1,5" is not a number' <<<"$copied" ||
  fail "the box's second line is not the line and column: $copied"
xdotool key Return
await_dialog gone "the message box"
await_picture reopened "after the refused file"
say "a refused file: the box names the line, the column and what was found; the model stays"
alive
say "ok"
