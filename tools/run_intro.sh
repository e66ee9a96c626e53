#!/bin/sh
# Installs what is missing, builds the intro in build/ and runs it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/install_packages.sh" build
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF
cmake --build "$root/build" -j"$(nproc)" --target intro
exec "$root/build/intro"
