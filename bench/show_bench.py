#!/usr/bin/env python3
"""Figures of the whole show under Mesa's software renderer, on a private
Xvfb and PulseAudio: the audio thread's CPU time per second of music (the
target is under 2% of one core) and the frame rate of every scene, at
854 x 480 and 1920 x 1080.  Where bench_scenes exists it is run too, for
the 3D scenes on their own.  Prints figures; passes or fails nothing.

    python3 bench/show_bench.py [BUILD_FOLDER]      (default: build)
"""

import os
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build"))
os.environ.setdefault("INTRO_PROBE", os.path.join(build, "tests", "headless", "intro_probe"))
os.environ.setdefault("INTRO_ASSETS", os.path.join(root, "assets"))
sys.path.insert(0, os.path.join(root, "tests", "headless"))
import harness  # noqa: E402
from test_whole_show import parse_probe  # noqa: E402

SIZES = [(854, 480), (1920, 1080)]
NAMES = ["boot console", "welcome", "reflection", "programme", "wave", "greetings", "street", "credits"]


def thread_runtime(pid, name):
    """Nanoseconds the named thread has run, from its schedstat, or None."""
    folder = "/proc/%d/task" % pid
    try:
        for tid in os.listdir(folder):
            with open(os.path.join(folder, tid, "comm")) as f:
                if f.read().strip() == name:
                    with open(os.path.join(folder, tid, "schedstat")) as f:
                        return int(f.read().split()[0])
    except (FileNotFoundError, ProcessLookupError):
        pass
    return None


def run_show(width, height):
    with harness.PulseServer() as pulse, harness.XServer(width, height) as x, \
            harness.Intro(x.display, pulse.server, binary=harness.PROBE) as intro:
        runtime = None
        deadline = time.monotonic() + 150  # a show too slow to see its last row repeats
        while intro.running() and time.monotonic() < deadline:
            value = thread_runtime(intro.process.pid, "intro-audio")
            if value is not None:
                runtime = value  # the last reading before the process ends
            time.sleep(0.2)
        if intro.running():
            print("  (the show missed its last row; ended with Escape)")
            x.key("Escape")
        status = intro.wait(30)
        report = intro.process.stderr.read().decode(errors="replace")
    scenes, counts, _ = parse_probe(report)
    return status, scenes, counts, runtime


def main():
    for width, height in SIZES:
        status, scenes, counts, runtime = run_show(width, height)
        print("whole show at %d x %d: exit status %s" % (width, height, status))
        if counts:
            music = counts["frames"] / harness.RATE
            print("  audio: %.1f s of music rendered, %d underflows (%d after the first second), buffer %d ms"
                  % (music, counts["underflows"], counts["after_start"], counts["latency_us"] // 1000))
            if runtime is not None and music > 0:
                print("  audio thread: %.3f s of CPU, %.2f%% of one core per second of music (target < 2%%)"
                      % (runtime / 1e9, runtime / 1e9 / music * 100))
        for scene in scenes:
            shown = scene["left"] - scene["entered"]
            rate = (scene["frames"] - 1) / shown if shown > 0 else float("nan")
            print("  scene %d %-12s %6.2f s %5d frames %6.1f fps" % (scene["state"], NAMES[scene["state"]],
                                                                   shown, scene["frames"], rate))
        sys.stdout.flush()

    scenes_bench = os.path.join(build, "bench", "bench_scenes")
    if os.path.exists(scenes_bench):
        for width, height in SIZES:
            with harness.XServer(width, height) as x:
                print("bench_scenes at %d x %d:" % (width, height))
                sys.stdout.flush()
                # The intro's own window asks for 4 samples.
                subprocess.run([scenes_bench, str(width), str(height), "4"], env=dict(os.environ, DISPLAY=x.display))
    else:
        print("bench_scenes not built: 3D scenes measured from the show only")


if __name__ == "__main__":
    main()
