#!/bin/sh
# Installs the Debian 12 packages that are missing for building the intro
# ("build"), for building and running the whole test suite ("test"), for
# the aarch64 cross build ("cross", with the arm64 architecture added), or
# for measuring and listening to the song ("music": the song report, sox).
# dpkg-dev and file let CPack compute the Debian packages' dependencies;
# lintian checks the packages made; python3 runs the generators and makes
# the release page, which the tests load in chromium.
set -eu
build="cmake g++ make pkg-config libglfw3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
       libpulse-dev libstb-dev libtinyobjloader-dev libegl-dev libegl-mesa0
       libavformat-dev libavcodec-dev libswscale-dev libavutil-dev dpkg-dev file python3"
test="$build ffmpeg libgtest-dev libbenchmark-dev python3 xvfb xauth x11-utils x11-apps xdotool imagemagick
      pulseaudio pulseaudio-utils console-setup-linux pipewire pipewire-pulse wireplumber dbus clang-14 libclang-rt-14-dev
      lintian chromium"
cross="g++-aarch64-linux-gnu qemu-user-static dpkg-dev lintian file libglfw3-dev:arm64 libgl-dev:arm64
       libglu1-mesa-dev:arm64 libpulse-dev:arm64 libtinyobjloader-dev:arm64 libgtest-dev:arm64
       libbenchmark-dev:arm64 libegl-dev:arm64 libavformat-dev:arm64 libavcodec-dev:arm64
       libswscale-dev:arm64 libavutil-dev:arm64"
music="$build python3 python3-numpy sox"
case "${1:-build}" in
  build) wanted=$build ;;
  test) wanted=$test ;;
  cross) wanted=$cross ;;
  music) wanted=$music ;;
  *) echo "usage: $0 [build|test|cross|music]" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

as_root=""
[ "$(id -u)" -eq 0 ] || as_root=sudo
if [ "${1:-build}" = cross ] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $as_root dpkg --add-architecture arm64
fi
$as_root apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y --no-install-recommends $missing
