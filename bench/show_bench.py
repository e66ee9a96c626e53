#!/usr/bin/env python3
"""Frame rates of the show under Mesa's software renderer, this build side by
side with a previous one, at 854 x 480 and 1920 x 1080 with 4 samples:
every scene on its own (bench_scenes, text screens fully typed, the best of
two rounds taken in turns) and every scene of the whole show as the intro
plays it, with the audio thread's CPU time per second of music (target
under 2% of one core).  Private Xvfb and PulseAudio servers are started
here.  Prints figures; passes or fails nothing.

    python3 bench/show_bench.py [BUILD_FOLDER [PREVIOUS_BUILD_FOLDER]]   (default: build)
    INTRO_BENCH_SECONDS=4  seconds each scene is drawn by bench_scenes
"""

import os
import re
import subprocess
import sys
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("INTRO_ASSETS", os.path.join(root, "assets"))
sys.path.insert(0, os.path.join(root, "tests", "headless"))
import harness  # noqa: E402
from test_whole_show import parse_probe  # noqa: E402

SIZES = [(854, 480), (1920, 1080)]
FLOOR = "clear+swap"  # bench_scenes' first line, the floor under every scene; older builds lack it
SECONDS = os.environ.get("INTRO_BENCH_SECONDS", "4")
ROUNDS = 2


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


def scene_rates(build, display, width, height):
    """{name: frames per second} of the floor and of each scene drawn alone, named as bench_scenes
    names them, or None without bench_scenes."""
    binary = os.path.join(build, "bench", "bench_scenes")
    if not os.path.exists(binary):
        return None
    out = subprocess.run([binary, str(width), str(height), "4", SECONDS], env=dict(os.environ, DISPLAY=display),
                         stdout=subprocess.PIPE, check=True).stdout.decode()
    line = re.compile(r"(.*?)\s+\d+x\d+\s+\d+ samples:\s+([\d.]+) frames per second")  # NAME WxH 4 samples: RATE ...
    return {match.group(1): float(match.group(2)) for match in map(line.match, out.splitlines()) if match}


def best_of(runs, rows):
    """The highest rate of each row over several runs of bench_scenes, or None without it.  Rows are
    matched by their first word, as older builds called the boot console "boot"."""
    if any(run is None for run in runs):
        return None
    by_word = [{name.split()[0]: rate for name, rate in run.items()} for run in runs]
    return [max((run[row.split()[0]] for run in by_word if row.split()[0] in run), default=None) for row in rows]


def whole_show(build, width, height):
    """Per scene frame rate of one whole show, the audio figures and the exit status."""
    probe = os.path.join(build, "tests", "headless", "intro_probe")
    with harness.PulseServer() as pulse, harness.XServer(width, height) as x, \
            harness.Intro(x.display, pulse.server, binary=probe) as intro:
        runtime = None
        deadline = time.monotonic() + 150
        while intro.running() and time.monotonic() < deadline:
            value = thread_runtime(intro.process.pid, "intro-audio")
            if value is not None:
                runtime = value  # the last reading before the process ends
            time.sleep(0.2)
        if intro.running():
            x.key("Escape")
        status = intro.wait(30)
        report = intro.process.stderr.read().decode(errors="replace")
    scenes, counts, _ = parse_probe(report)
    rates = {}
    for scene in scenes:
        shown = scene["left"] - scene["entered"]
        rates.setdefault(scene["state"], (scene["frames"] - 1) / shown if shown > 0 else float("nan"))
    lines = ["exit status %s%s" % (status, " (ended with Escape)" if status != 0 else "")]
    if counts:
        music = counts["frames"] / harness.RATE
        lines.append("%.1f s of music, %d underflows (%d after the first second)"
                     % (music, counts["underflows"], counts["after_start"]))
        if runtime is not None and music > 0:
            lines.append("audio thread %.2f%% of one core" % (runtime / 1e9 / music * 100))
    return [rates.get(state) for state in range(max(rates) + 1 if rates else 0)], lines


def table(title, builds, names, columns):
    print(title)
    print("  %-22s" % "scene" + "".join("%14s" % name for name, _ in builds))
    for row, name in enumerate(names):
        cells = []
        for column in columns:
            value = column[row] if column and row < len(column) else None
            cells.append("%14s" % ("-" if value is None else "%.1f" % value))
        print("  %-22s" % name + "".join(cells))
    sys.stdout.flush()


def main():
    builds = harness.compared_builds(sys.argv, os.path.join(root, "build"))
    for width, height in SIZES:
        # The builds take turns, and each scene keeps its best round: this machine's speed wanders.
        rounds = []
        with harness.XServer(width, height) as x:
            for _ in range(ROUNDS):
                rounds.append([scene_rates(folder, x.display, width, height) for _, folder in builds])
        # The scenes as this build's bench_scenes names them, in the show's order.
        rows = list(rounds[0][-1]) if rounds[0][-1] else [FLOOR]
        names = [row for row in rows if row != FLOOR]
        columns = [best_of([turn[index] for turn in rounds], rows) for index in range(len(builds))]
        table("\neach scene alone at %d x %d, 4 samples (frames per second):" % (width, height), builds,
              [row + " (no scene)" if row == FLOOR else row for row in rows], columns)
        shows = [whole_show(folder, width, height) for _, folder in builds]
        table("\nthe whole show at %d x %d, 4 samples (frames per second):" % (width, height), builds, names,
              [rates for rates, _ in shows])
        for (name, _), (_, lines) in zip(builds, shows):
            print("  %s: %s" % (name, "; ".join(lines)))
    sys.stdout.flush()


if __name__ == "__main__":
    main()
