#!/bin/sh
# Cross-builds the intro for aarch64 with Debian's cross compiler and the
# arm64 development packages, runs the music tests under qemu-user and
# checks that the embedded song renders to the same bytes as on this host;
# then makes the arm64 Debian packages and checks them
# (tools/release/check_arm64_packages.sh), and has the arm64 capture_show draw the
# show's first 16 s, through to the first 3D scene, as the host's does
# (tools/release/arm64_stills.sh; at 24 frames per second and 320 x 180,
# under a minute and a half under qemu).
# Everything is built (the intro links for aarch64), so that every test that
# needs no window runs on the target too.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
jobs=$(nproc)
sh "$root/tools/install_packages.sh" cross

host="$root/build"
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON >/dev/null
cmake --build "$host" -j"$jobs" --target render_module capture_show

cross="$root/build-aarch64"
cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/tools/release/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
  -DINTRO_HOST_RENDER_MODULE="$host/tools/render_module" >/dev/null
cmake --build "$cross" -j"$jobs"
# Not the window tests, nor the offline capture (a software renderer
# compiling shaders under an emulator), nor the checks of the host's Python
# tools (the asset generators, the song's XM reader), nor death tests
# (their child is the test binary executed again, which only runs here
# through qemu), nor the two-thread stress of the song position, which qemu
# runs with this host's memory ordering and seldom lets its threads overlap.
ctest --test-dir "$cross" --output-on-failure -j"$jobs" -LE 'headless|capture' \
  -E 'generated_assets|song_xm_file|DeathTest\.|AReaderOnAnotherThread'


package=$(mktemp -d)
trap 'rm -rf "$package"' EXIT
cpack --config "$cross/CPackConfig.cmake" -G DEB -B "$package" >/dev/null
sh "$root/tools/release/check_arm64_packages.sh" "$package" "$host/tools/render_module"
# The moments of bench/compare_stills.sh up to the reflection scene: the
# boot console, the welcome screen's flash and typing, the hand-over and
# the 3D scene.
sh "$root/tools/release/arm64_stills.sh" --fps 24 \
  --at 0.5,1.9,2.05,2.6,3.3,3.9,4.0,4.017,4.05,4.15,4.3,6.0,8.5,11.6,12.6,13.2,13.3,13.35,13.5,16.0 \
  "$host/tools/capture_show" "$cross/tools/capture_show"
