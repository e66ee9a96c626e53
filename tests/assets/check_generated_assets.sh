#!/bin/bash
# Runs tools/make_assets.sh into a fresh folder and compares every file it
# writes with the committed one under assets/, so that an uncommitted
# generator change or a non-deterministic generator fails.
# Usage: check_generated_assets.sh REPOSITORY_ROOT
set -euo pipefail
root=${1:?usage: check_generated_assets.sh REPOSITORY_ROOT}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

bash "$root/tools/make_assets.sh" "$out"

count=0
failed=0
for made in "$out"/*; do
  [ -e "$made" ] || continue
  name=$(basename "$made")
  count=$((count + 1))
  if [ ! -f "$root/assets/$name" ]; then
    echo "FAIL: $name is generated but not committed under assets/" >&2
    failed=1
  elif ! cmp "$made" "$root/assets/$name"; then
    echo "FAIL: assets/$name differs from what tools/make_assets.sh makes now" >&2
    failed=1
  fi
done
if [ "$count" -eq 0 ]; then
  echo "FAIL: tools/make_assets.sh wrote no files" >&2
  exit 1
fi
[ "$failed" -eq 0 ] || exit 1
echo "all $count generated assets match the committed ones"
