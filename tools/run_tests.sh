#!/bin/sh
# Installs what is missing, builds everything and runs the whole test suite:
# the unit, asset, music, capture and headless tests in build/, then the
# unit and music tests and a short capture of each kind again under
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/, the whole
# show once under ThreadSanitizer in build-tsan/, each fuzz target for 60 s
# in build-fuzz/, and the aarch64 cross build's music tests and render
# comparison in build-aarch64/; then, in a Debian root of the other
# release (Debian 13 on Debian 12, Debian 12 on Debian 13; made once under
# build/roots/ and kept), the build with the tests and its unit, capture,
# package and Wayland tests.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
sh "$root/tools/install_packages.sh" test

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON
cmake --build "$root/build" -j"$jobs"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DINTRO_TESTS=ON \
  -DINTRO_SANITIZE=address,undefined
cmake --build "$root/build-asan" -j"$jobs"
ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs" -L unit
ctest --test-dir "$root/build-asan" --output-on-failure -L capture_clip

# The render and audio threads share only atomics: one whole show on
# PulseAudio under ThreadSanitizer, whose first report fails the run.
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON \
  -DINTRO_SANITIZE=thread
cmake --build "$root/build-tsan" -j"$jobs" --target intro intro_probe render_module
INTRO_SOUND_SERVERS=pulseaudio INTRO_SLOW_BUILD=1 ctest --test-dir "$root/build-tsan" --output-on-failure -R '^headless_whole_show$'

sh "$root/tests/fuzz/run_fuzzers.sh" 60
sh "$root/tools/release/cross_build.sh"

# The other Debian release: its compiler, libraries, Mesa and packages.
case $(. /etc/os-release && echo "$VERSION_CODENAME") in
  bookworm) other=trixie ;;
  *) other=bookworm ;;
esac
sh "$root/tools/release/in_release_root.sh" "$other" test -- sh -c '
  cmake -S /src -B /root/build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=ON -DINTRO_ROOTS=/roots &&
  cmake --build /root/build -j"$(nproc)" &&
  ctest --test-dir /root/build --output-on-failure -j"$(nproc)" -L "^(unit|capture|capture_clip|package|wayland)\$"'
