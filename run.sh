#!/usr/bin/env bash
# Installs what is missing, builds, and opens MODEL in the viewer.
set -euo pipefail
cd "$(dirname "$0")"
if [ $# -lt 1 ]; then
  echo "usage: ./run.sh MODEL" >&2
  exit 2
fi
model=$(realpath -- "$1")
scripts/setup.sh
scripts/build.sh
if [ ! -x build/kestrel ]; then
  echo "run.sh: the window is not built yet; build/kestrel-render renders $1 to a picture" >&2
  exit 1
fi
exec build/kestrel "$model" "${@:2}"
