#!/usr/bin/env bash
# Builds the Debian package kestrel_VERSION_amd64.deb from the Release build with CPack and puts
# it in OUTPUT_FOLDER (default: the current folder). Install it with
#   sudo apt install ./kestrel_*.deb
# Usage: scripts/package.sh [OUTPUT_FOLDER]
# KESTREL_BUILD_DIR names another Release tree, already built, to package instead of build/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -- "${1:-.}")
if [ -n "${KESTREL_BUILD_DIR:-}" ]; then
  build=$KESTREL_BUILD_DIR
else
  build=$here/build
  "$here/scripts/setup.sh"
  "$here/scripts/build.sh"
fi
if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt"; then
  echo "package.sh: $build is not a Release build" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1); then
  cat "$work/cpack.log" >&2
  exit 1
fi
shopt -s nullglob
packages=("$work"/*.deb)
[ ${#packages[@]} -eq 1 ] || { echo "package.sh: CPack made ${#packages[@]} packages" >&2; exit 1; }
mv "${packages[0]}" "$out/"
echo "package.sh: wrote $out/$(basename "${packages[0]}")"
