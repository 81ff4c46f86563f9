#!/usr/bin/env bash
# The Debian package as scripts/package.sh builds it from this Release tree: its name, its
# files, its control fields (every library the programs load comes from a package it depends
# on), its maintainer scripts run against stand-ins for the desktop's tools, Debian's own files,
# and lintian without an error. Nothing is installed on this machine.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
source=$2
version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "package_test: FAIL: $*" >&2
  failures=$((failures + 1))
}
expect() {
  local what=$1 expected=$2 actual=$3
  [ "$actual" = "$expected" ] || fail "$what:"$'\n'"--- expected"$'\n'"$expected"$'\n'"--- got"$'\n'"$actual"
}

KESTREL_BUILD_DIR=$build "$source/scripts/package.sh" "$work" >"$work/package.log"
deb=$work/kestrel_${version}_amd64.deb
[ -f "$deb" ] || { echo "package_test: no $deb: $(ls "$work")" >&2; exit 1; }

# --- The files: owner, mode and path of each, exactly; every folder root's and 0755.
files="-rwxr-xr-x root/root usr/bin/kestrel
-rwxr-xr-x root/root usr/bin/kestrel-render
-rw-r--r-- root/root usr/share/applications/kestrel.desktop"
for doc in LICENSE README.md THIRD-PARTY.md changelog.gz copyright; do
  files+=$'\n'"-rw-r--r-- root/root usr/share/doc/kestrel/$doc"
done
for size in 16 32 48 64 128 256; do
  files+=$'\n'"-rw-r--r-- root/root usr/share/icons/hicolor/${size}x${size}/apps/kestrel.png"
done
files+="
-rw-r--r-- root/root usr/share/icons/hicolor/scalable/apps/kestrel.svg
-rw-r--r-- root/root usr/share/mime/packages/kestrel.xml
-rw-r--r-- root/root usr/share/thumbnailers/kestrel.thumbnailer"
listing=$(dpkg-deb -c "$deb")
expect "files" "$(LC_ALL=C sort -k3 <<<"$files")" \
  "$(awk '$1 !~ /^d/ {sub("^\\./", "", $6); print $1, $2, $6}' <<<"$listing" | LC_ALL=C sort -k3)"
expect "folders" "drwxr-xr-x root/root" "$(awk '$1 ~ /^d/ {print $1, $2}' <<<"$listing" | sort -u)"

contents=$work/contents
dpkg-deb -x "$deb" "$contents"
doc=$contents/usr/share/doc/kestrel
for name in README.md LICENSE THIRD-PARTY.md; do
  cmp -s "$source/$name" "$doc/$name" || fail "$name differs from the source's"
done
for program in kestrel kestrel-render; do
  ! readelf -S "$contents/usr/bin/$program" | grep -q '\.symtab' || fail "$program is not stripped"
done

# --- Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
expect "Package" "kestrel" "$(field Package)"
expect "Version" "$version" "$(field Version)"
expect "Architecture" "amd64" "$(field Architecture)"
expect "Section" "graphics" "$(field Section)"
expect "Priority" "optional" "$(field Priority)"
expect "synopsis" "viewer for 3D wire and point models" "$(field Description | head -n 1)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[[ "$(field Installed-Size)" =~ ^[0-9]+$ ]] || fail "Installed-Size: $(field Installed-Size)"
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ .*//')
grep -qx qt6-qpa-plugins <<<"$depends" || fail "no dependency on Qt's platform plugins"
# Every shared library either program names comes from a package the package depends on: the
# list is computed, so a library added to the build joins it without anyone writing it down.
owner() {
  local path real candidate
  path=$(ldconfig -p | awk -v name="$1" '$1 == name && /x86-64/ {print $NF; exit}')
  [ -n "$path" ] || return 0
  real=$(realpath "$path")
  for candidate in "$path" "$real" "/usr$path" "${path#/usr}" "/usr$real" "${real#/usr}"; do
    dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return 0
  done
}
needed=$(for program in "$contents"/usr/bin/*; do
  readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'
done | sort -u)
for library in $needed; do
  package=$(owner "$library")
  if [ -z "$package" ]; then
    fail "no installed package holds $library"
  elif ! grep -qx "${package%:amd64}" <<<"$depends"; then
    fail "$library comes from $package, which is not among the dependencies: $(field Depends)"
  fi
done

# --- The maintainer scripts, run with stand-ins for the desktop's tools that note their calls.
control=$work/control
dpkg-deb -e "$deb" "$control"
for script in postinst postrm; do
  expect "$script mode" "755" "$(stat -c %a "$control/$script")"
done
tools=$work/tools
mkdir -p "$tools"
for tool in update-mime-database update-desktop-database; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$work/calls" >"$tools/$tool"
  chmod +x "$tools/$tool"
done
run() {
  : >"$work/calls"
  PATH="$tools:/usr/bin:/bin" "$control/$1" "${@:2}" || fail "$* failed"
  cat "$work/calls"
}
refresh="update-mime-database /usr/share/mime
update-desktop-database -q /usr/share/applications"
expect "postinst configure" "$refresh" "$(run postinst configure)"
expect "postinst abort-upgrade" "" "$(run postinst abort-upgrade 1.0)"
expect "postrm remove" "$refresh" "$(run postrm remove)"
expect "postrm purge" "$refresh" "$(run postrm purge)"
expect "postrm upgrade" "" "$(run postrm upgrade 1.0)"
# Without the tools (a minimal system), the scripts still succeed.
for args in "postinst configure" "postrm remove"; do
  read -r -a words <<<"$args"
  PATH=/nonexistent /bin/sh "$control/${words[0]}" "${words[@]:1}" ||
    fail "$args fails without the desktop's tools"
done

# --- Debian's own files: the changelog names this version and is compressed as Debian asks
# (no name or time stamp in the gzip header), the copyright file points at the GPL.
expect "changelog" "kestrel ($version) unstable; urgency=medium" "$(zcat "$doc/changelog.gz" | head -n 1)"
expect "changelog gzip header" "$(printf '\037\213\010\000\000\000\000\000\002\003' | od -An -tx1)" \
  "$(head -c 10 "$doc/changelog.gz" | od -An -tx1)"
grep -q '^License: GPL-2+$' "$doc/copyright" || fail "the copyright file names no GPL-2+ licence"
grep -q '/usr/share/common-licenses/GPL-2' "$doc/copyright" || fail "the copyright file does not point at the GPL"

# --- lintian: no error (it fails on errors only). Warnings and notes are shown, not counted.
status=0
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$work/lintian.log" || true
if [ "$status" -ne 0 ] || grep -q '^E: ' "$work/lintian.log"; then
  fail "lintian reports errors (status $status)"
fi

[ "$failures" -eq 0 ] || { echo "package_test: $failures failed" >&2; exit 1; }
echo "package_test: ok"
