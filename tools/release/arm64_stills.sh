#!/bin/sh
# Draws stills with an arm64 capture_show under qemu-user and compares them
# with an x86-64 capture_show's, pixel by pixel: the two builds must draw
# the same show.  Both render with Mesa's softpipe, single-sampled: llvmpipe's
# JIT crashes under qemu-user, and softpipe has no multisampling.  The arm64
# program runs with `qemu-aarch64-static -L ROOT`, ROOT an arm64 Debian root
# of this machine's release that debootstrap unpacks without running
# anything (there is no binfmt_misc to enter it), with Debian's arm64 Mesa,
# EGL and FFmpeg libraries; it is made once and kept in ROOTS/SUITE-arm64.
# Prints, per still, the pixels that differ and by how much.  Exit status 0
# when no channel of any pixel differs by more than one level, in at most
# one pixel in a thousand: where the white flash is half blended over the
# wave scene, the two builds of softpipe round a few values differently.
# A still costs every frame before it: at 60 frames per second qemu draws
# about five a second at 320x180.
#
#   sh tools/release/arm64_stills.sh --at T1,T2,... [--size WxH] [--fps N] [--keep DIR] HOST_CAPTURE_SHOW ARM64_CAPTURE_SHOW [ROOTS]
#
#   --keep leaves both builds' stills in DIR/x86-64 and DIR/arm64 to look at.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
usage() {
  sed -n 's/^#   //p' "$0" >&2
  exit 2
}
at="" size=320x180 fps=60 keep=""
while [ $# -gt 0 ]; do
  case $1 in
    --at) [ $# -ge 2 ] || usage; at=$2; shift 2 ;;
    --size) [ $# -ge 2 ] || usage; size=$2; shift 2 ;;
    --fps) [ $# -ge 2 ] || usage; fps=$2; shift 2 ;;
    --keep) [ $# -ge 2 ] || usage; keep=$2; shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ -n "$at" ] && [ $# -ge 2 ] && [ $# -le 3 ] || usage
host=$1 arm64=$2 roots=${3:-$root/build/roots}
# Debian 12 names the static emulator qemu-aarch64-static, Debian 13 qemu-aarch64.
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64) || { echo "arm64_stills.sh: no qemu-aarch64" >&2; exit 2; }
command -v compare >/dev/null || { echo "arm64_stills.sh: ImageMagick's compare is missing" >&2; exit 2; }

# The runtime libraries capture_show links, by this release's names.
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
case $suite in
  bookworm) libraries=libavformat59,libavcodec59,libswscale6,libavutil57,libtinyobjloader2rc10 ;;
  trixie) libraries=libavformat61,libavcodec61,libswscale8,libavutil59,libtinyobjloader2rc13 ;;
  *) echo "arm64_stills.sh: no arm64 root for release $suite" >&2; exit 2 ;;
esac
arm64_root=$roots/$suite-arm64
if [ ! -f "$arm64_root/.intro-root-complete" ]; then
  # A root that stopped half made is no base to build on: start again.
  rm -rf "$arm64_root" "$arm64_root.partial"
  mkdir -p "$roots"
  debootstrap --arch=arm64 --foreign --variant=minbase \
    --include=libegl1,libegl-mesa0,libgl1-mesa-dri,libglu1-mesa,libopengl0,$libraries \
    "$suite" "$arm64_root.partial" http://deb.debian.org/debian >"$arm64_root.log" 2>&1 || {
    tail -n 20 "$arm64_root.log" >&2
    echo "arm64_stills.sh: debootstrap of arm64 $suite failed (whole log: $arm64_root.log)" >&2
    exit 1
  }
  # --foreign unpacks only the base; the libraries wait in apt's cache.
  for deb in "$arm64_root.partial"/var/cache/apt/archives/*.deb; do
    dpkg-deb -x "$deb" "$arm64_root.partial"
  done
  touch "$arm64_root.partial/.intro-root-complete"
  mv "$arm64_root.partial" "$arm64_root"
fi

if [ -n "$keep" ]; then
  mkdir -p "$keep"
  work=$(cd "$keep" && pwd)
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT INT TERM
fi
began=$(date +%s)
GALLIUM_DRIVER=softpipe "$host" --size "$size" --fps "$fps" --samples 1 --stills "$at" "$work/x86-64" 2>"$work/x86-64.log" ||
  { cat "$work/x86-64.log" >&2; exit 1; }
middle=$(date +%s)
GALLIUM_DRIVER=softpipe "$qemu" -L "$arm64_root" "$arm64" --size "$size" --fps "$fps" --samples 1 --stills "$at" \
  "$work/arm64" 2>"$work/arm64.log" || { cat "$work/arm64.log" >&2; exit 1; }
ended=$(date +%s)
grep -q 'on softpipe$' "$work/x86-64.log" && grep -q 'on softpipe$' "$work/arm64.log" ||
  { echo "arm64_stills.sh: a build did not draw with softpipe:" >&2; cat "$work/x86-64.log" "$work/arm64.log" >&2; exit 1; }

status=0 total=0 differ=0
for still in "$work/x86-64"/*.png; do
  name=$(basename "$still")
  total=$((total + 1))
  if [ ! -f "$work/arm64/$name" ]; then
    echo "$name: missing from the arm64 build"
    status=1
  elif cmp -s "$still" "$work/arm64/$name"; then
    echo "$name: 0 pixels differ"
  else
    # compare prints to stderr and exits 1 when the pictures differ: AE counts the
    # pixels that do, PAE gives the largest difference of a channel (0 to 1).
    pixels=$(compare -metric AE "$still" "$work/arm64/$name" null: 2>&1 | awk '{ printf "%d", $1 }') || true
    levels=$(compare -metric PAE "$still" "$work/arm64/$name" null: 2>&1 |
      sed 's/.*(\(.*\))/\1/' | awk '{ printf "%d", $1 * 255 + 0.5 }') || true
    all=$(identify -format '%[fx:w*h]' "$still")
    echo "$name: $pixels pixels differ, by up to $levels levels"
    [ "$pixels" = 0 ] || differ=$((differ + 1))
    [ "$levels" -le 1 ] && [ $((pixels * 1000)) -le "$all" ] || status=1
  fi
done
echo "$size at $fps fps: $((total - differ)) of $total stills identical$([ $status = 0 ] && [ $differ -gt 0 ] && echo ', the others within one level');" \
  "x86-64 $((middle - began)) s, arm64 under qemu $((ended - middle)) s"
[ "$total" -gt 0 ] || status=1
exit $status
