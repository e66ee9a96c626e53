#!/bin/sh
# Times the offline renderer writing two minutes of the busy 8- and 32-channel
# songs to a WAV file and prints frames per second and the multiple of real
# time, best of five runs, by wall clock and by the CPU time it used.
#
#   sh bench/render_module_speed.sh [BUILD_DIR]
set -eu
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for channels in 8 32; do
  "$build/bench/write_busy_xm" "$channels" "$work/busy.xm"
  python3 - "$build/tools/render_module" "$work/busy.xm" "$work/out.wav" "$channels" <<'PY'
import os, resource, subprocess, sys, time
render, module, wav, channels = sys.argv[1:]
seconds = 120
best_wall = best_cpu = float("inf")
for _ in range(5):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run([render, module, wav, "--seconds", str(seconds)], check=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    best_wall, best_cpu = min(best_wall, wall), min(best_cpu, cpu)
    os.remove(wav)
frames = seconds * 48000
print(f"render_module {channels:>2} channels: wall {best_wall * 1000:.0f} ms, "
      f"{frames / best_wall / 1e6:.2f} M frames/s, {seconds / best_wall:.0f}x real time; "
      f"CPU {best_cpu * 1000:.0f} ms, {seconds / best_cpu:.0f}x")
PY
done
