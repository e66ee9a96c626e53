#!/bin/sh
# Cross-builds the intro for aarch64 with Debian's cross compiler and the
# arm64 development packages, runs the music tests under qemu-user and
# checks that the embedded song renders to the same bytes as on this host.
# Only what that needs is built, plus the intro itself to show it links.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
sh "$root/tools/install_packages.sh" cross

host="$root/build"
cmake -S "$root" -B "$host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON >/dev/null
cmake --build "$host" -j"$jobs" --target render_module

cross="$root/build-aarch64"
cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/tools/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
  -DINTRO_HOST_RENDER_MODULE="$host/tools/render_module" >/dev/null
cmake --build "$cross" -j"$jobs" --target intro render_module make_fuzz_seeds \
  test_xm_loader test_embedded_song test_replayer test_power_of_two test_fuzz_inputs
# Everything built above, never the window tests nor the host-only checks.
ctest --test-dir "$cross" --output-on-failure -j"$jobs" -LE headless \
  -E 'generated_assets|_NOT_BUILT'
