#!/bin/sh
# Runs a command in a Debian root of the release SUITE (bookworm, trixie),
# for building and testing there: the root is made once under build/roots/
# and kept (SUITE-build), the package sets named are installed in it
# (tools/install_packages.sh), this source tree is lent to it read-only at
# /src and build/roots/ at /roots, where the pristine root of each release
# lies for the package tests' fresh installs.
#
#   sh tools/release/in_release_root.sh SUITE "SET ..." [--bind HOST:INSIDE[:ro]]... -- COMMAND [ARG...]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -ge 3 ] || { sed -n 's/^#   //p' "$0" >&2; exit 2; }
suite=$1 sets=$2
shift 2
roots="$root/build/roots"
sh "$root/tools/release/debian_root.sh" make "$suite" "$roots/$suite"
[ -f "$roots/$suite-build/.intro-root-complete" ] ||
  sh "$root/tools/release/debian_root.sh" copy "$roots/$suite" "$roots/$suite-build"
sh "$root/tools/release/debian_root.sh" run "$roots/$suite-build" --bind "$root:/src:ro" -- \
  sh -c 'for set in $1; do sh /src/tools/install_packages.sh "$set"; done' sh "$sets"
exec sh "$root/tools/release/debian_root.sh" run "$roots/$suite-build" --bind "$root:/src:ro" --bind "$roots:/roots:ro" "$@"
