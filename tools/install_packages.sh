#!/bin/sh
# Installs the Debian 12 packages that are missing for building the intro
# ("build"), or for building and running the whole test suite ("test").
set -eu
build="cmake g++ make pkg-config libglfw3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
       libpulse-dev libstb-dev libtinyobjloader-dev"
test="$build libgtest-dev libbenchmark-dev python3 xvfb xauth x11-utils x11-apps xdotool imagemagick
      pulseaudio pulseaudio-utils console-setup-linux pipewire pipewire-pulse wireplumber dbus"
case "${1:-build}" in
  build) wanted=$build ;;
  test) wanted=$test ;;
  *) echo "usage: $0 [build|test]" >&2; exit 2 ;;
esac

missing=""
for package in $wanted; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
[ -z "$missing" ] && exit 0

as_root=""
[ "$(id -u)" -eq 0 ] || as_root=sudo
$as_root apt-get update
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y --no-install-recommends $missing
