#!/usr/bin/env bash
# The real window on a real X server (run under xvfb-run, no window manager), given a model the
# fit refuses (one point): the fit's message comes up; once it is dismissed, every resize of the
# window fails its refit and says so, in a box of its own that opens after the resize is over.
# A box run inside the resize entered Qt's layout again and ended the program. After six resizes
# the window is still there, with one box each, and File > Exit ends the program with success.
# Usage: failure_e2e.sh PATH/TO/kestrel
set -euo pipefail
# shellcheck source=menu_exit.sh
source "$(dirname "$0")/menu_exit.sh"
program=$1
work=$(mktemp -d)
printf '1 2 3 0\n' >"$work/dot.tmb"
export XDG_RUNTIME_DIR=$work
"$program" "$work/dot.tmb" >"$work/out.txt" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() {
  echo "failure_e2e: $*" >&2
  sed 's/^/  /' "$work/out.txt" >&2
  exit 1
}
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended ($1)"; }

# The message boxes: the program's other windows, captioned with its file's name.
boxes() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$pid" 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = kestrel ] && echo "$w"
  done
  return 0
}
# Dismisses the boxes that come up within a second, one at a time (a box has the focus while it
# is up), and says how many there were.
dismissed=0
dismiss() {
  dismissed=0
  local quiet=0
  while [ $quiet -lt 10 ]; do
    if [ -n "$(boxes)" ]; then
      xdotool key Return
      dismissed=$((dismissed + 1))
      quiet=0
      sleep 0.2
    else
      quiet=$((quiet + 1))
      sleep 0.1
    fi
  done
}

for _ in $(seq 100); do
  [ -n "$(boxes)" ] && break
  alive "at start"
  sleep 0.1
done
dismiss
[ $dismissed -ge 1 ] || fail "no box for the fit's failure"
main=$(xdotool search --onlyvisible --pid "$pid" --name '^Kestrel$' | head -n 1) ||
  fail "no window named Kestrel"

for size in "800 600" "700 500" "900 650" "650 480" "820 620" "720 540"; do
  # shellcheck disable=SC2086
  xdotool windowsize "$main" $size
  sleep 0.3
  alive "after resizing to $size"
  dismiss
  alive "after the boxes of $size"
  [ $dismissed -eq 1 ] || fail "$dismissed boxes for the one failed refit at $size"
done

exit_through_menu "$main" "$pid"
echo "failure_e2e: ok"
