#!/bin/sh
# Installs what is missing, builds capture_show in build/ and runs it with
# the arguments given, e.g. `sh tools/capture/capture.sh show.mp4`.  With no
# arguments it remakes the README's contact sheet, docs/contact_sheet.png.
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
sh "$root/tools/install_packages.sh" build
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target capture_show
if [ $# -eq 0 ]; then
  set -- --contact-sheet "$root/docs/contact_sheet.png"
fi
exec "$root/build/tools/capture_show" "$@"
