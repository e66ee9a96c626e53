#!/bin/sh
# Renders the same modules with the host's render_module and with the cross
# build's (through its emulator) and fails unless every WAV has the same
# SHA-256.  The embedded song is rendered for 105 s (its whole length and
# the start of its repeat), the fuzz seeds (Amiga periods, arpeggios,
# envelopes, ping-pong loops) for ten seconds each.
#
#   compare_renders.sh WORK HOST_RENDER SONG TARGET_SEEDS_COMMAND... -- TARGET_RENDER_COMMAND...
set -eu
work=$1 host_render=$2 song=$3
shift 3
seeds_command=""
while [ "$1" != "--" ]; do seeds_command="$seeds_command $1"; shift; done
shift
target_render="$*"

rm -rf "$work" && mkdir -p "$work/seeds"
for f in xm mod s3m prepared; do mkdir -p "$work/seeds/$f"; done
$seeds_command "$work/seeds"

failed=0
# compare MODULE RENDER_ARGUMENTS...
compare() {
  module=$1
  shift
  name=$(basename "$module")
  if ! "$host_render" "$module" "$work/host.wav" "$@" >/dev/null; then
    echo "$name: the host render failed"; failed=1; return
  fi
  # shellcheck disable=SC2086
  if ! $target_render "$module" "$work/target.wav" "$@" >/dev/null; then
    echo "$name: the target render failed"; failed=1; return
  fi
  host=$(sha256sum "$work/host.wav" | cut -d' ' -f1)
  target=$(sha256sum "$work/target.wav" | cut -d' ' -f1)
  if [ "$host" = "$target" ]; then
    echo "$name: both $host ($(wc -c <"$work/host.wav") bytes)"
  else
    echo "$name: host $host, target $target: DIFFERENT"; failed=1
  fi
}

compare "$song" --seconds 105
for seed in "$work"/seeds/*/*; do
  [ -f "$seed" ] && compare "$seed" --seconds 10
done
exit $failed
