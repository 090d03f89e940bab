#!/usr/bin/env bash
# Runs the demo's deployment and cycle into a temporary folder against the binaries already
# built, and checks that every remote data file it produced is well-formed XML.
set -euo pipefail
root=$1 build=$2
folder=$(mktemp -d /tmp/iqo-demo-test-XXXXXX)
trap 'rm -rf "$folder"' EXIT
bash "$root/scripts/demo" --built "$build" "$folder" >"$folder.log" 2>&1 || { cat "$folder.log"; rm -f "$folder.log"; exit 1; }
rm -f "$folder.log"
shopt -s nullglob
files=("$folder"/remote/*.xml)
[ ${#files[@]} -eq 3 ] || { echo "expected 3 remote data files, found ${#files[@]}"; exit 1; }
for f in "${files[@]}"; do
  xmllint --noout "$f" || { echo "not well-formed: $f"; exit 1; }
  grep -q "<z:row " "$f" || { echo "no rows in $f"; exit 1; }
done
