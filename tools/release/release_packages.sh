#!/bin/sh
# Builds the release's packages for the Debian release this machine (or
# root) runs, x86-64 and aarch64, checks them and copies them into OUT:
# the amd64 ones pass lintian and install with apt into a fresh root of
# this release, where the tools print their version; the arm64 ones are
# checked by tools/release/check_arm64_packages.sh, and their capture_show draws
# the stills of bench/compare_stills.sh under qemu as the amd64 build does
# (tools/release/arm64_stills.sh, at 24 frames per second and 320 x 180).
# Builds without the tests in BUILDS/release-amd64 and
# BUILDS/release-arm64; the pristine root of this release is kept in
# ROOTS.  tools/make_release.sh runs it once per release.
#
#   sh tools/release/release_packages.sh OUT BUILDS ROOTS
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -eq 3 ] || { sed -n 's/^#   //p' "$0" >&2; exit 2; }
out=$1 builds=$2 roots=$3
jobs=$(nproc)
sh "$root/tools/install_packages.sh" build
sh "$root/tools/install_packages.sh" cross
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")

native="$builds/release-amd64"
cross="$builds/release-arm64"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF >/dev/null
cmake --build "$native" -j"$jobs"
cmake -S "$root" -B "$cross" -DCMAKE_TOOLCHAIN_FILE="$root/tools/release/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINTRO_TESTS=OFF >/dev/null
cmake --build "$cross" -j"$jobs"
for build in "$native" "$cross"; do
  rm -rf "$build/packages"
  cpack --config "$build/CPackConfig.cmake" -B "$build/packages" >/dev/null
done

lintian --fail-on error --tag-display-limit 0 "$native"/packages/*.deb
sh "$root/tools/release/check_arm64_packages.sh" "$cross/packages" "$native/tools/render_module"
packaged=$(mktemp -d)
trap 'rm -rf "$packaged"' EXIT
dpkg-deb -x "$cross"/packages/intro-tools_*_arm64.deb "$packaged"
# The arm64 root is kept with the others, or beside the builds where those are lent read-only.
arm64_roots=$roots
[ -w "$roots" ] || arm64_roots=$builds/roots
sh "$root/tools/release/arm64_stills.sh" --fps 24 --at "$(sh "$root/bench/compare_stills.sh" --times)" \
  "$native/tools/capture_show" "$packaged/usr/bin/capture_show" "$arm64_roots"

# Installed as a user installs them, where nothing else ever was.
sh "$root/tools/release/debian_root.sh" make "$suite" "$roots/$suite"
fresh="$builds/fresh-root"
sh "$root/tools/debian_root.sh" copy "$roots/$suite" "$fresh"
trap 'rm -rf "$packaged" "$fresh"' EXIT
sh "$root/tools/debian_root.sh" run "$fresh" --bind "$native/packages:/packages:ro" -- sh -c '
  apt-get update -qq && apt-get install -y -qq /packages/*.deb >/dev/null &&
  for tool in capture_show render_module make_prepared; do $tool --version; done &&
  dpkg-query -W intro intro-tools'
for build in "$native" "$cross"; do
  cp "$build"/packages/*.deb "$build"/packages/*.tar.gz "$out/"
done
