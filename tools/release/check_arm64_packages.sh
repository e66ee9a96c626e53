#!/bin/sh
# Checks the arm64 packages in FOLDER, made by a cross build: both are for
# arm64, every program in them is an aarch64 binary, lintian finds no
# errors, and the packaged render_module, under qemu, renders the embedded
# song byte for byte as HOST_RENDER_MODULE (this machine's build) does.
#
#   sh tools/release/check_arm64_packages.sh FOLDER HOST_RENDER_MODULE
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -eq 2 ] || { sed -n 's/^#   //p' "$0" >&2; exit 2; }
folder=$1 host_render_module=$2
# Debian 12 names the static emulator qemu-aarch64-static, Debian 13 qemu-aarch64.
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for name in intro intro-tools; do
  set -- "$folder/${name}"_*_arm64.deb
  deb=$1
  [ -f "$deb" ] || { echo "FAIL: no arm64 package $name in $folder" >&2; exit 1; }
  [ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || { echo "FAIL: $deb is not for arm64" >&2; exit 1; }
  dpkg-deb -x "$deb" "$work/tree"
  lintian --fail-on error --tag-display-limit 0 "$deb"
done
for program in games/intro bin/capture_show bin/render_module bin/make_prepared; do
  kind=$(file -b "$work/tree/usr/$program")
  echo "$program: $kind"
  case $kind in
    *"ARM aarch64"*) ;;
    *) echo "FAIL: $program is not an aarch64 binary" >&2; exit 1 ;;
  esac
done
"$host_render_module" "$root/assets/song.xm" "$work/host.wav" --seconds 105
"$qemu" -L /usr/aarch64-linux-gnu "$work/tree/usr/bin/render_module" \
  "$root/assets/song.xm" "$work/packaged.wav" --seconds 105
if cmp "$work/host.wav" "$work/packaged.wav"; then
  echo "the arm64 package's render_module renders the song as the host's: $(sha256sum <"$work/host.wav" | cut -d' ' -f1)"
else
  echo "FAIL: the arm64 package's render_module renders the song differently" >&2
  exit 1
fi
