#!/bin/sh
# Makes the release folder dist/: the Debian packages (the show, intro, and
# its tools, intro-tools) and tarballs for Debian 12 and Debian 13, each for
# x86-64 and aarch64, the contact sheet, a 1920 x 1080, 60 frames per
# second video of the show with its chapters (WebVTT) and a poster frame,
# SHA256SUMS, and index.html, the page that publishes the folder as it is.
# Each release's packages are built against that release's libraries and
# checked by tools/release/release_packages.sh: on this machine for its own
# release, in a Debian root kept under build/roots/ for the other
# (tools/release/in_release_root.sh).  A failed run leaves no dist/ behind.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
sh "$root/tools/install_packages.sh" release
this=$(. /etc/os-release && echo "$VERSION_CODENAME")

dist="$root/dist"
partial="$root/dist.partial"
rm -rf "$dist" "$partial"
mkdir -p "$partial"
trap 'rm -rf "$partial"' EXIT
for suite in bookworm trixie; do
  if [ "$suite" = "$this" ]; then
    sh "$root/tools/release/release_packages.sh" "$partial" "$root/build-release" "$root/build/roots"
  else
    sh "$root/tools/release/in_release_root.sh" "$suite" "build cross" --bind "$partial:/dist" -- \
      sh /src/tools/release/release_packages.sh /dist /root/build-release /roots
  fi
done

native="$root/build-release/release-amd64"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$native/CPackConfig.cmake")
"$native/tools/capture_show" --contact-sheet "$partial/intro_${version}_contact_sheet.png"
"$native/tools/capture_show" --size 1920x1080 --fps 60 --chapters "$partial/intro_${version}_chapters.vtt" \
  "$partial/intro_${version}_1920x1080_60fps.mp4"
# The poster: the wave scene, the show's most colourful moment.
"$native/tools/capture_show" --size 1920x1080 --stills 46 "$partial/poster"
mv "$partial/poster/still_0046.000.png" "$partial/intro_${version}_poster.png"
rmdir "$partial/poster"
(cd "$partial" && sha256sum -- * >SHA256SUMS)
python3 "$root/tools/release/make_release_page.py" "$partial"
mv "$partial" "$dist"
ls -l "$dist"
