#!/bin/sh
# A short capture in every output kind, for the sanitizer build: the first
# eight seconds (boot console into the welcome screen) as MP4 with its
# chapters file and as lossless Matroska, and two stills; each must succeed
# and leave its files.
# Usage: capture_clip.sh CAPTURE_SHOW
set -eu
capture=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$capture" --size 320x180 --to 8 --chapters "$out/clip.vtt" "$out/clip.mp4"
"$capture" --size 320x180 --fps 24 --to 8 --lossless "$out/clip.mkv"
"$capture" --size 320x180 --stills 1,6 "$out/stills"
for file in clip.mp4 clip.vtt clip.mkv stills/still_0001.000.png stills/still_0006.000.png; do
  [ -s "$out/$file" ] || { echo "capture_clip: $file missing" >&2; exit 1; }
done
[ "$(ls "$out" | grep -c partial)" -eq 0 ] || { echo "capture_clip: partial files left" >&2; exit 1; }
