#!/usr/bin/env bash
# Installs what is missing, builds, and opens MODEL in the viewer. Without a display it renders
# MODEL to a picture in the current folder instead.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -lt 1 ]; then
  echo "usage: ./run.sh MODEL" >&2
  exit 2
fi
model=$(realpath -- "$1")
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  name=$(basename -- "$model")
  picture="$PWD/${name%.*}.png"
  echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset): rendering $1 to $picture instead"
  "$here/build/kestrel-render" "$model" -o "$picture"
  echo "run.sh: wrote $picture"
  exit 0
fi
exec "$here/build/kestrel" "$model" "${@:2}"
