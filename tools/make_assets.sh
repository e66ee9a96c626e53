#!/bin/sh
# Regenerates every embedded asset into the given folder (default: the
# repository's assets/).  One generator call per line, each given the folder.
set -eu
tools=$(cd "$(dirname "$0")" && pwd)
out=${1:-"$tools/../assets"}
mkdir -p "$out"
# -B: no bytecode caches left behind in tools/.
python3 -B "$tools/assets/make_fonts.py" "$out"
python3 -B "$tools/assets/make_boot_logo.py" "$out"
python3 -B "$tools/assets/make_icon.py" "$out"
python3 -B "$tools/song/make_song_xm.py" "$out"
python3 -B "$tools/assets/make_grass.py" "$out"
python3 -B "$tools/assets/make_street_atlas.py" "$out"
python3 -B "$tools/assets/make_street_mesh.py" "$out"
python3 -B "$tools/assets/make_logo_mesh.py" "$out"
