#!/bin/sh
# Makes the release folder dist/: the Debian packages and tarballs for
# x86-64 and aarch64, the contact sheet, a 1920 x 1080, 60 frames per second
# video of the show with its chapters and a poster frame, SHA256SUMS, and
# index.html, the page that publishes the folder as it is.  Builds without
# the tests in build-release/ and build-release-aarch64/; the packages'
# checks are the test suite's (package test) and tools/cross_build.sh's.  A
# failed run leaves no dist/ behind.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
sh "$root/tools/install_packages.sh" build
sh "$root/tools/install_packages.sh" cross

native="$root/build-release"
cross="$root/build-release-aarch64"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF >/dev/null
cmake --build "$native" -j"$jobs"
cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/tools/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF >/dev/null
cmake --build "$cross" -j"$jobs"

dist="$root/dist"
partial="$root/dist.partial"
rm -rf "$dist" "$partial"
mkdir -p "$partial"
trap 'rm -rf "$partial"' EXIT
for build in "$native" "$cross"; do
  rm -rf "$build/packages"
  cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
  cp "$build"/packages/*.deb "$build"/packages/*.tar.gz "$partial/"
done

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$native/CPackConfig.cmake")
"$native/tools/capture_show" --contact-sheet "$partial/intro_${version}_contact_sheet.png"
"$native/tools/capture_show" --size 1920x1080 --fps 60 --chapters "$partial/intro_${version}_chapters.vtt" \
  "$partial/intro_${version}_1920x1080_60fps.mp4"
# The poster: the wave scene, the show's most colourful moment.
"$native/tools/capture_show" --size 1920x1080 --stills 46 "$partial/poster"
mv "$partial/poster/still_0046.000.png" "$partial/intro_${version}_poster.png"
rmdir "$partial/poster"
(cd "$partial" && sha256sum -- * >SHA256SUMS)
python3 "$root/tools/make_release_page.py" "$partial"
mv "$partial" "$dist"
ls -l "$dist"
