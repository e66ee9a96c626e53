#!/bin/sh
# Prints the frames per second of each 3D scene at 854x480 and 1920x1080
# with 4 samples, each in a private Xvfb of that size started and stopped here.
# Usage: sh bench/scene_fps.sh [BUILD_FOLDER] [SECONDS_PER_SCENE]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
seconds=${2:-4}
bench="$build/bench/bench_scenes"
[ -x "$bench" ] || { echo "build $bench first (cmake --build $build --target bench_scenes)" >&2; exit 1; }
work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

for size in 854x480 1920x1080; do
  : > "$work/display"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
  xvfb=$!
  # Wait (up to a minute) for the server to name its display and answer.
  tries=0
  until [ -s "$work/display" ] && DISPLAY=":$(cat "$work/display")" xdpyinfo >/dev/null 2>&1; do
    tries=$((tries + 1))
    [ "$tries" -lt 600 ] || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  DISPLAY=":$(cat "$work/display")" "$bench" "${size%x*}" "${size#*x}" 4 "$seconds"
  kill "$xvfb"
  wait "$xvfb" 2>/dev/null || true
  xvfb=""
done
