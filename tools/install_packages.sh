#!/bin/sh
# Installs the packages that are missing for building the intro ("build"),
# for building and running the whole test suite ("test"), for the aarch64
# cross build ("cross", with the arm64 architecture added), for making the
# release on this machine ("release": the build, and the Debian roots), or for
# measuring and listening to the song ("music": the song report, sox), by
# the names of the Debian release this machine runs (/etc/os-release).
# dpkg-dev and file let CPack compute the Debian packages' dependencies;
# lintian checks the packages made; debootstrap makes the Debian roots the
# tests build and install in, and the arm64 root whose Mesa draws the
# cross build's stills under qemu, which ImageMagick compares; python3 runs
# the generators and makes the release page, which the tests load in
# chromium; sway, XWayland, grim, wtype and xhost make the Wayland desktop
# the intro is tested on.
set -eu
# The Debian version number (not "release": that names a package set below).
debian=$(. /etc/os-release 2>/dev/null && [ "${ID:-}" = debian ] && echo "${VERSION_ID:-}" || true)
case "$debian" in
  12 | 13) ;;
  *)
    echo "install_packages.sh: this is not Debian 12 or 13 ($(. /etc/os-release 2>/dev/null && echo "${PRETTY_NAME:-}" || echo "no /etc/os-release")); install by hand the packages named in $0" >&2
    exit 1
    ;;
esac

# The names both releases share.
build="cmake g++ make pkg-config libglfw3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
       libpulse-dev libdbus-1-dev libstb-dev libtinyobjloader-dev libegl-dev libegl-mesa0
       libavformat-dev libavcodec-dev libswscale-dev libavutil-dev dpkg-dev file python3"
test="$build ffmpeg libgtest-dev libbenchmark-dev python3 xvfb xauth x11-utils x11-apps xdotool imagemagick
      pulseaudio pulseaudio-utils console-setup-linux pipewire pipewire-pulse wireplumber dbus clang libclang-rt-dev
      lintian debootstrap chromium sway xwayland grim wtype x11-xserver-utils"
cross="g++-aarch64-linux-gnu dpkg-dev lintian file libglfw3-dev:arm64 libgl-dev:arm64
       libglu1-mesa-dev:arm64 libpulse-dev:arm64 libdbus-1-dev:arm64 libtinyobjloader-dev:arm64 libgtest-dev:arm64
       libbenchmark-dev:arm64 libegl-dev:arm64 libavformat-dev:arm64 libavcodec-dev:arm64
       libswscale-dev:arm64 libavutil-dev:arm64 debootstrap imagemagick"
release="$build debootstrap"
music="$build python3 python3-numpy sox"
# Where the releases differ.
case "$debian" in
  12) cross="$cross qemu-user-static" ;;
  # Debian 13's qemu-user is static itself (qemu-aarch64); qemu-user-static only points to it.
  13) cross="$cross qemu-user" ;;
esac

case "${1:-build}" in
  build) wanted=$build ;;
  test) wanted=$test ;;
  cross) wanted=$cross ;;
  release) wanted=$release ;;
  music) wanted=$music ;;
  *) echo "usage: $0 [build|test|cross|release|music]" >&2; exit 2 ;;
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
