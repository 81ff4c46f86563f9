# Sourced by the end-to-end scripts. exit_through_menu WINDOW PID: chooses File > Exit, the last
# entry of the File menu, in WINDOW and expects program PID to end with success within five
# seconds; on any failure calls the script's own fail.
exit_through_menu() {
  local window=$1 pid=$2
  xdotool mousemove --window "$window" 15 10 click 1
  sleep 0.5
  xdotool key Up Return
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && fail "File > Exit did not end the program"
  wait "$pid" || fail "the program ended with status $?"
}
