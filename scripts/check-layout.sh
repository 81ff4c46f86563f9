#!/usr/bin/env bash
# Holds the source tree to the include rules of its layout (CONTRIBUTING.md, "Layout"): which
# folders each folder's files may include from, no test reaching into bench/, and the *_testing.h
# switches kept to the tests and their own folder. Prints every include that breaks a rule and
# fails; prints nothing when all hold.
set -euo pipefail
cd "$(dirname "$0")/.."

# A folder under src/ (the longest that holds the file decides), then the folders its files may
# include from: a quoted include must start with one of them.
rules=(
  "scene scene/"
  "formats scene/ formats/"
  "formats/deflate formats/deflate/"
  "view scene/ view/"
  "render scene/ view/ render/"
  "cli scene/ formats/ view/ cli/"
  "app scene/ formats/ view/ render/ app/"
)

status=0
complain() {
  echo "$1: $2" >&2
  status=1
}

while IFS= read -r file; do
  relative=${file#src/}
  folder=""
  allowed=""
  for rule in "${rules[@]}"; do
    read -r name prefixes <<<"$rule"
    if [[ $relative == "$name"/* && ${#name} -gt ${#folder} ]]; then
      folder=$name
      allowed=$prefixes
    fi
  done
  [ -n "$folder" ] || { complain "$file" "a folder the layout does not know"; continue; }
  while IFS= read -r included; do
    ok=0
    for prefix in $allowed; do
      [[ $included == "$prefix"* ]] && ok=1
    done
    [ $ok -eq 1 ] || complain "$file" "includes \"$included\", outside $allowed"
    if [[ $included == *_testing.h && $(dirname "$relative") != $(dirname "$included") ]]; then
      complain "$file" "includes the test switch \"$included\""
    fi
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\/[^"]*\)".*/\1/p' "$file")
done < <(find src -name '*.cpp' -o -name '*.h' | sort)

while IFS= read -r hit; do
  complain "${hit%%:*}" "includes from bench/"
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*/)?bench/' tests || true)

exit $status
