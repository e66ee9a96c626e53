#!/bin/sh
# Debian roots made with debootstrap, for building and testing on a release
# other than this machine's and for installing our packages where nothing
# else was ever installed.  Each command runs in a mount namespace of its
# own, so that /proc, /sys, /dev and the folders lent to it vanish with it,
# however it ends, and no mount is left behind in the root.
#
#   sh tools/release/debian_root.sh make SUITE DIR     debootstrap SUITE (bookworm, trixie) into DIR,
#                                              unless a complete root is already there
#   sh tools/release/debian_root.sh copy FROM TO       a fresh copy of a root
#   sh tools/release/debian_root.sh run DIR [--bind HOST:INSIDE[:ro]]... -- COMMAND [ARG...]
#                                              runs COMMAND as root inside DIR; variables
#                                              named INTRO_* pass through
set -eu
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
complete_mark=.intro-root-complete

usage() {
  sed -n 's/^#   //p' "$self" >&2
  exit 2
}

case "${1:-}" in
  make)
    [ $# -eq 3 ] || usage
    suite=$2 dir=$3
    [ -f "$dir/$complete_mark" ] && exit 0
    # A root that stopped half made is no base to build on: start again.
    rm -rf "$dir" "$dir.partial"
    mkdir -p "$(dirname "$dir")"
    debootstrap --variant=minbase "$suite" "$dir.partial" http://deb.debian.org/debian >"$dir.log" 2>&1 || {
      tail -n 20 "$dir.log" >&2
      echo "debian_root.sh: debootstrap of $suite failed (whole log: $dir.log)" >&2
      exit 1
    }
    touch "$dir.partial/$complete_mark"
    mv "$dir.partial" "$dir"
    ;;
  copy)
    [ $# -eq 3 ] || usage
    [ -f "$2/$complete_mark" ] || { echo "debian_root.sh: $2 is no complete root" >&2; exit 1; }
    # Copied aside and renamed, so that a copy cut short is never taken for a root.
    rm -rf "$3" "$3.partial"
    cp -a "$2" "$3.partial"
    mv "$3.partial" "$3"
    ;;
  run)
    [ $# -ge 2 ] || usage
    [ -f "$2/$complete_mark" ] || { echo "debian_root.sh: $2 is no complete root" >&2; exit 1; }
    shift
    exec unshare --mount --propagation private sh "$self" inside "$@"
    ;;
  inside)
    shift
    dir=$(cd "$1" && pwd)
    shift
    # The root as a mount of its own, so that a command inside can make a namespace and roots again.
    mount --bind "$dir" "$dir"
    mount -t proc proc "$dir/proc"
    mount --rbind /sys "$dir/sys"
    mount --rbind /dev "$dir/dev"
    mkdir -p "$dir/tmp"
    mount -t tmpfs tmpfs "$dir/tmp"
    while [ $# -gt 0 ] && [ "$1" = --bind ]; do
      spec=$2
      shift 2
      host_path=${spec%%:*}
      rest=${spec#*:}
      inside_path=${rest%%:*}
      mode=${rest#"$inside_path"}
      mkdir -p "$dir$inside_path"
      mount --bind "$host_path" "$dir$inside_path"
      [ "$mode" = ":ro" ] && mount -o remount,bind,ro "$dir$inside_path"
    done
    [ "${1:-}" = -- ] || usage
    shift
    cp /etc/resolv.conf "$dir/etc/resolv.conf"
    # Only what the command needs from here: no paths, locales or sessions of this machine.
    set -- HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
      $(env | grep '^INTRO_[A-Z0-9_]*=' | tr '\n' ' ') "$@"
    exec chroot "$dir" /usr/bin/env -i "$@"
    ;;
  *) usage ;;
esac
