#!/bin/sh
# Cross-builds the intro for aarch64 with Debian's cross compiler and the
# arm64 development packages, runs the music tests under qemu-user and
# checks that the embedded song renders to the same bytes as on this host;
# then makes the arm64 Debian package and checks it: aarch64 binaries,
# lintian without errors, and its render_module's song equal to the host's.
# Everything is built (the intro links for aarch64), so that every test that
# needs no window runs on the target too.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
sh "$root/tools/install_packages.sh" cross
# Debian 12 names the static emulator qemu-aarch64-static, Debian 13 qemu-aarch64.
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64)

host="$root/build"
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON >/dev/null
cmake --build "$host" -j"$jobs" --target render_module

cross="$root/build-aarch64"
cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/tools/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
  -DINTRO_HOST_RENDER_MODULE="$host/tools/render_module" >/dev/null
cmake --build "$cross" -j"$jobs"
# Not the window tests, nor the offline capture (a software renderer
# compiling shaders under an emulator), nor the check that the asset
# generators (host Python) reproduce the committed assets, nor death tests:
# their child is the test binary executed again, which only runs here
# through qemu.
ctest --test-dir "$cross" --output-on-failure -j"$jobs" -LE 'headless|capture' \
  -E 'generated_assets|DeathTest\.'


package=$(mktemp -d)
trap 'rm -rf "$package"' EXIT
cpack --config "$cross/CPackConfig.cmake" -G DEB -B "$package" >/dev/null
set -- "$package"/intro_*_arm64.deb
deb=$1
[ -f "$deb" ] || { echo "FAIL: no arm64 package made" >&2; exit 1; }
[ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || { echo "FAIL: $deb is not for arm64" >&2; exit 1; }
dpkg-deb -x "$deb" "$package/root"
for program in games/intro bin/capture_show bin/render_module bin/make_prepared; do
  kind=$(file -b "$package/root/usr/$program")
  echo "$program: $kind"
  case $kind in
    *"ARM aarch64"*) ;;
    *) echo "FAIL: $program in $deb is not an aarch64 binary" >&2; exit 1 ;;
  esac
done
lintian --fail-on error --tag-display-limit 0 "$deb"
"$host/tools/render_module" "$root/assets/song.xm" "$package/host.wav" --seconds 105
"$qemu" -L /usr/aarch64-linux-gnu "$package/root/usr/bin/render_module" \
  "$root/assets/song.xm" "$package/packaged.wav" --seconds 105
if cmp "$package/host.wav" "$package/packaged.wav"; then
  echo "the arm64 package's render_module renders the song as the host's: $(sha256sum <"$package/host.wav" | cut -d' ' -f1)"
else
  echo "FAIL: the arm64 package's render_module renders the song differently" >&2
  exit 1
fi
