#!/usr/bin/env bash
# The licences of what a program links must go together: the programs that show models link the
# mesh library (Assimp, which links Draco, Apache-2.0) and never Open Babel (GPL-2.0 only); the
# molecule reader links Open Babel and never Assimp or Draco. Checked on the libraries the loader
# would bring in, the libraries' own included.
#   links_test.sh READER SHOWING_PROGRAM...
set -euo pipefail
reader=$1
shift
status=0
libraries() { ldd "$1" | awk '{print $1}'; }
for program in "$@"; do
  if libraries "$program" | grep -E '^libopenbabel'; then
    echo "links_test: $program links Open Babel" >&2
    status=1
  fi
done
if libraries "$reader" | grep -E '^lib(assimp|draco)'; then
  echo "links_test: $reader links Assimp or Draco" >&2
  status=1
fi
libraries "$reader" | grep -qE '^libopenbabel' || { echo "links_test: $reader without Open Babel?" >&2; status=1; }
exit $status
