# What the end-to-end scripts share (sourced, not run): an X server of the script's own, the
# window started on it, the frame found and grabbed from the server, pictures compared with
# kestrel-render's, and a cleanup that leaves nothing behind, within a time limit.
#
# A script sets `name`, `program`, `render` and `model`, and optionally `scale` (device pixels
# per logical pixel, 1 by default) and `screen` (the X screen, WxH), then calls e2e_begin LIMIT.
# With KESTREL_E2E_KEEP=FOLDER, a failed run leaves its pictures and logs there.

scale=${scale:-1}
screen=${screen:-1024x768}

say() { echo "$name: $*"; }
fail() {
  echo "$name: FAILED: $*" >&2
  if [ -s "${work:-/nonexistent}/kestrel.log" ]; then
    echo "$name: the window's output:" >&2
    sed 's/^/  /' "$work/kestrel.log" >&2
  fi
  exit 1
}

kestrel_pid=""
xvfb_pid=""
watchdog_pid=""
work=$(mktemp -d)

# Ends a process we started: politely first, then for sure.
stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  local status=$?
  trap - EXIT INT TERM ALRM ERR
  stop "$kestrel_pid"
  stop "$xvfb_pid" # Xvfb removes its socket and lock file as it goes
  stop "$watchdog_pid"
  if [ "$status" -ne 0 ] && [ -n "${KESTREL_E2E_KEEP:-}" ]; then
    mkdir -p "$KESTREL_E2E_KEEP" && cp "$work"/*.png "$work"/*.log "$KESTREL_E2E_KEEP"/ 2>/dev/null
  fi
  rm -rf "$work"
  exit "$status"
}

# Sends ALRM to the test once the time is up, unless it is stopped first.
watchdog() {
  trap - EXIT INT ALRM ERR
  sleep "$1" &
  local timer=$!
  trap 'kill $timer 2>/dev/null; exit 0' TERM
  wait "$timer" && kill -ALRM "$2" 2>/dev/null
}

# The traps, the time limit, and the X server on the first free display.
e2e_begin() {
  local limit=$1
  trap cleanup EXIT
  trap 'fail "interrupted"' INT TERM
  trap "fail \"still not done after ${limit} s\"" ALRM
  trap 'fail "line $LINENO: \"$BASH_COMMAND\" failed"' ERR
  watchdog "$limit" $$ &
  watchdog_pid=$!

  # Nothing of ours or the toolkit's is left in /tmp afterwards, and the user's own settings
  # (recent files, folders) are neither read nor written.
  mkdir -m 700 "$work/runtime" "$work/config"
  export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config MAGICK_TEMPORARY_PATH=$work
  # A plain screen of 96 dots per inch, each logical pixel `scale` device pixels.
  unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI QT_AUTO_SCREEN_SCALE_FACTOR
  [ "$scale" = 1 ] || export QT_SCALE_FACTOR=$scale
  export QT_QPA_PLATFORM=xcb

  Xvfb -displayfd 3 -screen 0 "${screen}x24" -dpi 96 -nolisten tcp -noreset \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    sleep 0.05
  done
  [ -s "$work/display" ] || fail "Xvfb named no display within 10 s"
  DISPLAY=":$(head -n 1 "$work/display")"
  export DISPLAY
  say "X server on $DISPLAY${QT_SCALE_FACTOR:+, QT_SCALE_FACTOR=$QT_SCALE_FACTOR}"
}

# Starts the window with `$@` as its arguments and finds it: win, win_x, win_y, win_w, win_h
# (device pixels; no window manager frames it, so its client area starts at its corner).
start_window() {
  "$program" "$@" >"$work/kestrel.log" 2>&1 &
  kestrel_pid=$!
  win=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$kestrel_pid" --name '^Kestrel$' |
    head -n 1) || fail "no window named Kestrel was mapped within 20 s"
  read -r win_x win_y win_w win_h < <(xwininfo -id "$win" | awk '
    /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
  say "window $win mapped at ($win_x, $win_y), ${win_w}x${win_h}"
}

# Ends the window as File > Exit would, and waits for it.
end_window() {
  stop "$kestrel_pid"
  kestrel_pid=""
}

alive() {
  kill -0 "$kestrel_pid" 2>/dev/null || fail "the window's program ended"
  # A message box is a second window of the program: something went wrong inside.
  local windows
  windows=$(xdotool search --onlyvisible --pid "$kestrel_pid" 2>/dev/null | wc -l)
  [ "$windows" -le 1 ] || fail "the program shows $windows windows: a message box came up"
}

# --- Where the frame is, in device pixels of the window. ---
# The client area the form draws on starts below the menu bar (menu_h). The frame lies at client
# (192, 0) logical with the client size less 199 by 7, each times the scale; its left column is
# black from top to bottom, the menu bar above it is not.
menu_h=-1
frame_x=$((192 * scale))
frame_w=0
frame_h=0
find_menu_height() {
  frame_w=$((win_w - 199 * scale))
  import -window "$win" "$work/window.png"
  menu_h=$(convert "$work/window.png" -crop "1x${win_h}+${frame_x}+0" +repage -depth 8 txt:- |
    awk -F'[ ,:]+' -v bottom=$((win_h - 7 * scale - 1)) '
      NR > 1 {black[$2] = ($0 ~ /#000000/)}
      END {
        if (!black[bottom] || black[bottom + 1]) {print -1; exit}
        y = bottom
        while (y > 0 && black[y - 1]) y--
        print (y > 0 && y < 200) ? y : -1
      }')
  frame_h=$((win_h - menu_h - 7 * scale))
}

# Moves the pointer to a point of the client area, in device pixels from its corner.
point() { xdotool mousemove "$((win_x + $1))" "$((win_y + menu_h + $2))"; }

grab() { # the frame, as it is on the screen now
  import -window "$win" -crop "${frame_w}x${frame_h}+${frame_x}+${menu_h}" +repage "$work/$1.png"
}
# Sets diff to how many pixels of two pictures differ in red, green or blue.
diff=0
differ() {
  local out
  out=$(compare -alpha off -metric AE "$work/$1.png" "$work/$2.png" null: 2>&1) || true
  [[ "$out" =~ ^[0-9]+(\.[0-9]+)?(e\+?[0-9]+)?$ ]] || fail "cannot compare $1 with $2: $out"
  diff=$(awk -v n="$out" 'BEGIN {printf "%d\n", n}')
}
# kestrel-render's picture of `model` (or of MODEL= given first) in a view, at the frame's size.
reference() {
  local out=$1 input=$model
  shift
  if [[ "${1:-}" == MODEL=* ]]; then
    input=${1#MODEL=}
    shift
  fi
  "$render" "$input" -o "$work/$out.png" --size "${frame_w}x${frame_h}" "$@" ||
    fail "kestrel-render $* failed"
}

# Polls for up to 5 s until the picture `grabber` takes equals the picture `base` ("same") or
# differs from it ("changed"); that picture is then kept as `into`.
await() {
  local grabber=$1 base=$2 want=$3 into=$4 what=$5
  for _ in $(seq 100); do
    alive
    "$grabber" now
    differ now "$base"
    if { [ "$want" = same ] && [ "$diff" -eq 0 ]; } || { [ "$want" = changed ] && [ "$diff" -ne 0 ]; }
    then
      mv "$work/now.png" "$work/$into.png"
      return 0
    fi
    sleep 0.05
  done
  fail "$what ($diff pixels differ after 5 s)"
}
# The frame shows kestrel-render's picture `ref` exactly.
await_picture() { await grab "$1" same last "$2: the frame is not kestrel-render's picture"; }
# The frame is no longer the picture `last`; it becomes `last`.
await_change() { await grab last changed last "$1: the picture did not change"; }

# Waits until the frame is found and shows kestrel-render's picture `ref` (made at the frame's
# size by `make_ref`, again whenever the size found changes).
await_first_picture() {
  local ref=$1 make_ref=$2 made=""
  for _ in $(seq 100); do
    alive
    find_menu_height
    if [ "$menu_h" -ge 0 ]; then
      if [ "$made" != "${frame_w}x${frame_h}" ]; then
        "$make_ref"
        made=${frame_w}x${frame_h}
      fi
      grab last
      differ last "$ref"
      [ "$diff" -eq 0 ] && return 0
    fi
    sleep 0.05
  done
  [ "$menu_h" -ge 0 ] || fail "start: found no black frame at client x = $frame_x"
  fail "start: the frame differs from kestrel-render's picture in $diff pixels"
}

# The side panel below the memo: the check boxes and Center. (The memo, while it has the focus,
# blinks its caret.)
boxes_top=165
grab_panel() {
  import -window "$win" -crop "185x$((401 - boxes_top))+0+$((menu_h + boxes_top))" +repage \
    "$work/$1.png"
}
# Fails unless the panel pictures `a` and `b` differ only inside the client rectangle from
# (x0, y0) to (x1, y1), end excluded; with "some", they must differ somewhere.
changed_only_within() {
  local a=$1 b=$2 x0=$3 y0=$4 x1=$5 y1=$6 need=$7 what=$8 w h x y
  differ "$a" "$b"
  if [ "$diff" -eq 0 ]; then
    [ "$need" != some ] || fail "$what: changed nothing in the side panel"
    return 0
  fi
  compare -alpha off "$work/$a.png" "$work/$b.png" -compose src -highlight-color white \
    -lowlight-color black "$work/mask.png" 2>/dev/null || true
  read -r w h x y < <(convert "$work/mask.png" -trim -format '%w %h %X %Y\n' info: | tr -d '+')
  y=$((y + boxes_top))
  ((x >= x0 && y >= y0 && x + w <= x1 && y + h <= y1)) ||
    fail "$what: changed the side panel at ${w}x${h}+${x}+${y}, outside ($x0, $y0)-($x1, $y1)"
}
# Width and height of the drawn model: the frame trimmed of its black background.
extent() { convert "$work/$1.png" -trim -format '%w %h' info:; }
# Waits until the frame has not changed for a whole second (over thirty timer periods), and
# fails if that does not happen within ten.
microseconds() { echo "${EPOCHREALTIME//[.,]/}"; } # the point is the locale's
await_still() {
  local what=$1 start still_since
  start=$(microseconds)
  still_since=$start
  grab still
  while [ $(($(microseconds) - still_since)) -lt 1000000 ]; do
    [ $(($(microseconds) - start)) -lt 10000000 ] || fail "$what: the picture never stood still"
    alive
    sleep 0.1
    grab now
    differ now still
    if [ "$diff" -ne 0 ]; then
      mv "$work/now.png" "$work/still.png"
      still_since=$(microseconds)
    fi
  done
  cp "$work/still.png" "$work/last.png"
}

# With Free Spin ticked: a left drag from (drag_x, drag_y) released while moving, then the
# model turning on by itself.
fling() {
  point "$drag_x" "$drag_y"
  xdotool mousedown 1
  point $((drag_x - 12)) $((drag_y + 5))
  await_change "left drag with Free Spin"
  point $((drag_x - 30)) $((drag_y + 12))
  xdotool mouseup 1
  # The last move may still be drawn after the release; three more changes can only be the spin.
  for i in 1 2 3; do await_change "free spin, change $i after the release"; done
}
