#!/bin/sh
# Compares the show drawn by two builds, byte for byte: capture_show's stills
# at 54 moments of every scene (flashes, typing, fades, hand-overs) at
# 854x480 and 1920x1080, and, with --every-frame, every frame of the whole
# show at 854x480 through a lossless video.  Exit status 0 when all match.
# `--times` prints the moments, for other comparisons of stills.
# Usage: sh bench/compare_stills.sh PREVIOUS_BUILD THIS_BUILD [--every-frame]
#        sh bench/compare_stills.sh --times
set -eu
# The welcome screen's music starts at 4.017 s; each order position lasts 4.615 s.
times="0.5,1.9,2.05,2.6,3.3,3.9,4.0,\
4.017,4.05,4.15,4.3,6.0,8.5,11.6,12.6,13.2,\
13.3,13.35,13.5,16.0,20.0,25.0,30.2,31.0,31.65,\
31.75,31.9,35.0,39.6,40.8,\
41.0,41.1,45.0,50.0,55.0,58.2,59.3,\
59.5,59.6,65.0,70.0,76.5,77.7,\
77.95,78.1,82.0,88.0,93.0,95.2,96.2,\
96.4,96.5,99.0,105.3"
[ "${1:-}" = --times ] && { echo "$times"; exit 0; }
[ $# -ge 2 ] || { echo "usage: sh bench/compare_stills.sh PREVIOUS_BUILD THIS_BUILD [--every-frame]" >&2; exit 2; }
previous=$1
this=$2
every_frame=${3:-}
for build in "$previous" "$this"; do
  [ -x "$build/tools/capture_show" ] || { echo "no $build/tools/capture_show: build it first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

status=0
for size in 854x480 1920x1080; do
  for build in previous this; do
    eval folder=\$$build
    "$folder/tools/capture_show" --size "$size" --stills "$times" "$work/$build-$size" 2>"$work/$build.log" \
      || { cat "$work/$build.log" >&2; exit 1; }
  done
  total=0
  differ=0
  for still in "$work/previous-$size"/*.png; do
    name=$(basename "$still")
    total=$((total + 1))
    if ! cmp -s "$still" "$work/this-$size/$name"; then
      differ=$((differ + 1))
      echo "$size $name differs"
    fi
  done
  echo "$size: $((total - differ)) of $total stills identical"
  [ "$differ" -eq 0 ] && [ "$total" -ge 40 ] || status=1
done

if [ "$every_frame" = "--every-frame" ]; then
  for build in previous this; do
    eval folder=\$$build
    "$folder/tools/capture_show" --size 854x480 --lossless "$work/$build.mkv" 2>"$work/$build.log" \
      || { cat "$work/$build.log" >&2; exit 1; }
    ffmpeg -v error -i "$work/$build.mkv" -map 0:v -f framemd5 "$work/$build.md5"
    rm -f "$work/$build.mkv"
  done
  frames=$(grep -vc '^#' "$work/this.md5" || true)
  if cmp -s "$work/previous.md5" "$work/this.md5"; then
    echo "854x480: all $frames frames of the show identical"
  else
    echo "854x480: frames differ:"
    diff "$work/previous.md5" "$work/this.md5" | grep '^>' | head -20
    status=1
  fi
fi
exit $status
