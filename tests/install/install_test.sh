#!/usr/bin/env bash
# Installs the build into a temporary prefix, as `cmake --install build --prefix P` does for a
# user, and checks what lands there with the desktop's own tools: the desktop entry, the MIME
# package and the types it gives files, the icon theme, and the thumbnailer's command run for real.
# Usage: install_test.sh BUILD_DIR PATH/TO/desktop_probe SOURCE_DIR
set -euo pipefail
build=$1
probe=$2
source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share
failures=0
fail() {
  echo "install_test: FAIL: $*" >&2
  failures=$((failures + 1))
}
# The exact expected text, or a failure that shows both.
expect() {
  local what=$1 expected=$2 actual=$3
  [ "$actual" = "$expected" ] || fail "$what:"$'\n'"--- expected"$'\n'"$expected"$'\n'"--- got"$'\n'"$actual"
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# --- What is installed, and where.
for program in kestrel kestrel-render; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not installed as a program"
done
sizes=(16 32 48 64 128 256)
expected_files="bin/kestrel
bin/kestrel-render
libexec/kestrel/kestrel-molecule
share/applications/kestrel.desktop
share/doc/kestrel/LICENSE
share/doc/kestrel/README.md
share/doc/kestrel/THIRD-PARTY.md"
for size in "${sizes[@]}"; do
  expected_files+=$'\n'"share/icons/hicolor/${size}x${size}/apps/kestrel.png"
done
expected_files+="
share/icons/hicolor/scalable/apps/kestrel.svg
share/mime/packages/kestrel.xml
share/thumbnailers/kestrel.thumbnailer"
expect "installed files" "$(LC_ALL=C sort <<<"$expected_files")" \
  "$(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)"

# --- The programs say what they are without a display, and the window's usage names the README
# installed beside it.
for program in kestrel kestrel-render; do
  expect "$program --version" "$program $(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' \
    "$source/CMakeLists.txt")" "$(env -u DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/$program" --version)"
done
usage=$(env -u DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/kestrel" --help) || fail "kestrel --help failed"
readme_line=$(grep -c "README.*: $share/doc/kestrel/README.md\$" <<<"$usage" || true)
expect "kestrel --help names the installed README" 1 "$readme_line"
cmp -s "$source/README.md" "$share/doc/kestrel/README.md" || fail "the installed README is not ours"

# --- The desktop entry: valid by the validator's every rule, hints included.
entry=$share/applications/kestrel.desktop
validation=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $validation"
[ -z "$validation" ] || fail "desktop-file-validate has remarks: $validation"
key() { sed -n "s/^$1=//p" "$2"; }
expect "Name" "Kestrel" "$(key Name "$entry")"
expect "Exec" "kestrel %f" "$(key Exec "$entry")"
expect "Icon" "kestrel" "$(key Icon "$entry")"
types="model/x-tumbra;application/x-kestrel-scene;model/obj;model/stl;model/x-ply;model/x-off;\
model/gltf+json;model/gltf-binary;model/vnd.collada+xml;model/x-xyz-point-cloud;model/x-pts-point-cloud;\
chemical/x-pdb;chemical/x-mmcif;chemical/x-cif;chemical/x-mdl-sdfile;chemical/x-mdl-molfile;\
chemical/x-mol2;chemical/x-cml;"
# CSV files are often point clouds: Kestrel is offered for them, but never asked to draw their
# thumbnails (nor those of plain text).
expect "MimeType" "${types}text/csv;" "$(key MimeType "$entry")"
expect "Categories" "Graphics;Viewer;3DGraphics;" "$(key Categories "$entry")"
update-desktop-database "$share/applications"
expect "the types the entry opens" "[MIME Cache]
application/x-kestrel-scene=kestrel.desktop;
chemical/x-cif=kestrel.desktop;
chemical/x-cml=kestrel.desktop;
chemical/x-mdl-molfile=kestrel.desktop;
chemical/x-mdl-sdfile=kestrel.desktop;
chemical/x-mmcif=kestrel.desktop;
chemical/x-mol2=kestrel.desktop;
chemical/x-pdb=kestrel.desktop;
model/gltf+json=kestrel.desktop;
model/gltf-binary=kestrel.desktop;
model/obj=kestrel.desktop;
model/stl=kestrel.desktop;
model/vnd.collada+xml=kestrel.desktop;
model/x-off=kestrel.desktop;
model/x-ply=kestrel.desktop;
model/x-pts-point-cloud=kestrel.desktop;
model/x-tumbra=kestrel.desktop;
model/x-xyz-point-cloud=kestrel.desktop;
text/csv=kestrel.desktop;" "$(cat "$share/applications/mimeinfo.cache")"

# --- The MIME package: well-formed, and taken by update-mime-database without a word.
package=$share/mime/packages/kestrel.xml
xmllint --noout "$package" || fail "xmllint refuses the MIME package"
# With the prefix among the data folders, as it is for a user's ~/.local/share: otherwise the
# tool adds a note that applications will not find it.
mime_log=$(XDG_DATA_DIRS="$share:/usr/share" update-mime-database "$share/mime" 2>&1) ||
  fail "update-mime-database failed: $mime_log"
[ -z "$mime_log" ] || fail "update-mime-database has remarks: $mime_log"
expect "globs2" "50:application/x-kestrel-scene:*.ksl
50:chemical/x-cif:*.cif
50:chemical/x-cml:*.cml
50:chemical/x-mdl-molfile:*.mol
50:chemical/x-mdl-sdfile:*.sdf
50:chemical/x-mmcif:*.mmcif
50:chemical/x-mol2:*.mol2
50:model/vnd.collada+xml:*.dae
50:model/x-off:*.off
50:model/x-ply:*.ply
50:model/x-pts-point-cloud:*.pts
50:model/x-tumbra:*.tmb
50:model/x-xyz-point-cloud:*.xyz
60:chemical/x-pdb:*.ent
60:chemical/x-pdb:*.pdb" "$(grep -v '^#' "$share/mime/globs2" | LC_ALL=C sort)"
expect "subclasses" "chemical/x-cif text/plain
chemical/x-cml application/xml
chemical/x-mdl-molfile text/plain
chemical/x-mdl-sdfile text/plain
chemical/x-mmcif text/plain
chemical/x-mol2 text/plain
chemical/x-pdb text/plain
model/vnd.collada+xml application/xml
model/x-off text/plain
model/x-pts-point-cloud text/plain
model/x-tumbra text/plain
model/x-xyz-point-cloud text/plain" "$(LC_ALL=C sort "$share/mime/subclasses")"
expect "icons" "application/x-kestrel-scene:kestrel" "$(cat "$share/mime/icons")"
expect "generic icons" "model/x-tumbra:text-x-generic" "$(cat "$share/mime/generic-icons")"
# The Tumbra type's magic rule is there, and is the one that no file can meet.
expect "magic" "$(printf 'MIME-Magic\0\n[50:model/x-tumbra]\n>0=\0\1\0\n1>0=\0\1\377\n' | od -c)" \
  "$(od -c "$share/mime/magic")"

# Qt programs look types up in the data folders; ours first, the system's behind it.
models=$work/models
mkdir -p "$models"
printf '# A square\n\n-1 0 -1 0\n1 0 -1 7\n1 0 1 7\n-1 0 1 7\n-1 0 -1 7\n' >"$models/square.tmb"
cp "$models/square.tmb" "$models/SQUARE.TMB"
# Content that other types would claim: the name still decides.
printf '#!/bin/sh\necho hello\n' >"$models/script.tmb"
printf '<?xml version="1.0"?>\n<svg xmlns="http://www.w3.org/2000/svg"/>\n' >"$models/drawing.tmb"
printf 'x\332\003\000\000\000\000\001' >"$models/scene.ksl"
cp "$models/square.tmb" "$models/square.txt"
printf 'solid t\nfacet normal 0 0 0\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid t\n' >"$models/part.stl"
printf 'ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty float z\nend_header\n0 0 0\n' >"$models/scan.ply"
printf '0 0 0\n1 1 1\n' >"$models/scan.xyz"
# Names other types in the database claim too (a Palm database, an XML entity): ours win.
printf 'HETATM    1  O   HOH A   1       0.000   0.000   0.117  1.00  0.00           O\nEND\n' \
  >"$models/water.pdb"
cp "$models/water.pdb" "$models/water.ent"
cp "$source/examples/caffeine.sdf" "$models/caffeine.sdf"
lookup() {
  XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$work/no-home" "$probe" "$@"
}
expect "types by name" "square.tmb model/x-tumbra text
SQUARE.TMB model/x-tumbra text
script.tmb model/x-tumbra text
drawing.tmb model/x-tumbra text
scene.ksl application/x-kestrel-scene not-text
square.txt text/plain text
part.stl model/stl not-text
scan.ply model/x-ply not-text
scan.xyz model/x-xyz-point-cloud text
water.pdb chemical/x-pdb text
water.ent chemical/x-pdb text
caffeine.sdf chemical/x-mdl-sdfile text" \
  "$(cd "$models" && lookup mime square.tmb SQUARE.TMB script.tmb drawing.tmb scene.ksl square.txt \
    part.stl scan.ply scan.xyz water.pdb water.ent caffeine.sdf)"
# By content alone a Tumbra file is plain text: the magic recognises nothing.
expect "types by content" "square.tmb text/plain" "$(cd "$models" && lookup content square.tmb)"

# --- The icon: every size a PNG of that size, rendered from the SVG as installed.
icons=$share/icons/hicolor
for size in "${sizes[@]}"; do
  png=$icons/${size}x${size}/apps/kestrel.png
  expect "icon $size" "png ${size}x${size}" "$("$probe" image "$png")"
  rsvg-convert --width "$size" --height "$size" "$icons/scalable/apps/kestrel.svg" -o "$work/fresh.png"
  expect "icon $size against the SVG" "same" "$("$probe" same "$png" "$work/fresh.png" 2)"
done
xmllint --noout "$icons/scalable/apps/kestrel.svg" || fail "the SVG icon is not well-formed"
cache_log=$(gtk-update-icon-cache --force --ignore-theme-index --quiet "$icons" 2>&1) ||
  fail "gtk-update-icon-cache: $cache_log"
[ -s "$icons/icon-theme.cache" ] || fail "no icon cache was written"

# --- The thumbnailer: its Exec line run as a file manager runs it, for an output name without
# an extension, as thumbnailers are often given.
thumbnailer=$share/thumbnailers/kestrel.thumbnailer
expect "thumbnailer types" "$types" "$(key MimeType "$thumbnailer")"
try_exec=$(key TryExec "$thumbnailer")
PATH="$prefix/bin:$PATH" command -v "$try_exec" >/dev/null || fail "TryExec $try_exec is not found"
read -r -a words <<<"$(key Exec "$thumbnailer")"
for size in 128 48 64; do
  # A mesh and a molecule too: the thumbnailer draws every type it lists.
  input=$models/square.tmb
  [ "$size" = 64 ] && input=$models/part.stl
  [ "$size" = 48 ] && input=$models/caffeine.sdf
  command=()
  for word in "${words[@]}"; do
    word=${word//%i/$input}
    word=${word//%o/$work/thumbnail-$size}
    word=${word//%s/$size}
    command+=("$word")
  done
  PATH="$prefix/bin:$PATH" "${command[@]}" || fail "the thumbnailer failed: ${command[*]}"
  expect "thumbnail $size" "png ${size}x${size}" "$("$probe" image "$work/thumbnail-$size")"
done
expect "the first bytes of a thumbnail" "$(printf '\211PNG\r\n\032\n' | od -c)" \
  "$(head -c 8 "$work/thumbnail-128" | od -c)"

[ "$failures" -eq 0 ] || { echo "install_test: $failures failed" >&2; exit 1; }
echo "install_test: ok"
