#!/usr/bin/env python3
"""The show as it is streamed from the hall, this build side by side with a
previous one: the whole show live (the probe) in a private Xvfb and
PulseAudio, with an encoder grabbing screen and sink monitor as a streaming
program does (x11grab at 30 Hz and the monitor, libx264 veryfast at
4500 kbit/s and AAC, at a constant 30 frames a second), at 1280 x 720 and
1920 x 1080.  For each: the stream's
underflows and its buffer at the end, the encoder's dropped and duplicated
frames, each scene's frames per second, and how far the pictures stand from
the sound.  Then, without the encoder at 854 x 480, the pictures against the
sound with the stream's buffer held at 40 and at 250 ms (PULSE_LATENCY_MSEC,
which libpulse applies to any client).

The sound is a recording of the sink's monitor, matched sample for sample
with the song rendered offline, so each row's moment in the recording is
when it was heard; a picture's moment is when the frame that first shows
it was swapped (scene changes, fades to white) or, for the end, when the
frame that saw it began.  Offsets are picture minus sound: positive, the
pictures come after the music.  Prints figures; passes or fails nothing.

    python3 bench/stream_bench.py [BUILD_FOLDER [PREVIOUS_BUILD_FOLDER]]   (default: build)
    INTRO_STREAM_BENCH="stream buffers"  the parts to run (both by default)
"""

import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("INTRO_ASSETS", os.path.join(root, "assets"))
# The offline render of the song comes from this build's renderer.
os.environ.setdefault("INTRO_RENDER_MODULE", os.path.join(
    os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build")), "tools", "render_module"))
sys.path.insert(0, os.path.join(root, "tests", "headless"))
import harness  # noqa: E402
from test_whole_show import ENTRY_POSITIONS, END, align, parse_probe  # noqa: E402

STREAM_SIZES = [(1280, 720), (1920, 1080)]
BUFFERS_MS = [40, 250]
PARTS = os.environ.get("INTRO_STREAM_BENCH", "stream buffers").split()
FADE_POSITIONS = [1, 5, 7, 11, 15, 19]  # each scene's fade to white starts on row 40 of these
FADE_ROW = 40
SCENE_NAMES = {2: "reflection", 3: "programme", 4: "wave", 5: "greetings", 6: "street", 7: "credits"}
SHOW_DEADLINE = 160


def encoder_command(display, width, height):
    return ["ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "info", "-stats",
            "-f", "x11grab", "-framerate", "30", "-video_size", "%dx%d" % (width, height), "-i", display,
            "-f", "pulse", "-i", "testnull.monitor",
            "-c:v", "libx264", "-preset", "veryfast", "-b:v", "4500k", "-c:a", "aac",
            # A constant frame rate, as a streaming service wants: the encoder duplicates or drops
            # frames to hold 30 a second where the grab cannot.
            "-fps_mode", "cfr", "-f", "null", "-"]


def encoder_counts(text):
    """(frames, dropped, duplicated) from ffmpeg's last progress line."""
    found = None
    for line in re.split(r"[\r\n]", text):
        frame, dup, drop = (re.search(pattern, line) for pattern in (r"frame=\s*(\d+)", r"dup=\s*(\d+)",
                                                                     r"drop=\s*(\d+)"))
        if frame:
            found = (int(frame.group(1)), int(drop.group(1)) if drop else 0, int(dup.group(1)) if dup else 0)
    return found


def read_inputs(folder):
    """Each frame's (clock, order position, row, scene drawn) as the probe logged them."""
    frames = []
    with open(os.path.join(folder, "inputs.txt")) as log:
        for line in log:
            fields = line.split()
            frames.append((float.fromhex(fields[1]), int(fields[4]), int(fields[5]), int(fields[7])))
    return frames


def picture_times(scenes, frames, show_over):
    """{event: (began, shown)}, CLOCK_MONOTONIC seconds at which the frame that first shows it began
    (and read the music) and was swapped.  The frame log's clock is the show's own (GLFW's, on the
    same monotonic clock from another origin): its origin comes from the scene visits, whose first
    frame began where the probe says; a frame was swapped as the next began."""
    firsts = {}
    for index, (_, _, _, state) in enumerate(frames):
        firsts.setdefault(state, index)
    origins = [s["begun"] - frames[firsts[s["state"]]][0] for s in scenes if s["state"] in firsts]
    if not origins:
        return {}
    origin = statistics.median(origins)
    times = {}
    for scene in scenes[2:8]:
        if scene["state"] in SCENE_NAMES:
            times["scene: " + SCENE_NAMES[scene["state"]]] = (scene["begun"], scene["entered"])
    for position in FADE_POSITIONS:
        for index, (_, order, row, _) in enumerate(frames[:-1]):
            if order == position and row != 0 and row - 1 >= FADE_ROW:
                times["fade at %d" % position] = (frames[index][0] + origin, frames[index + 1][0] + origin)
                break
    if show_over is not None:
        times["end"] = (show_over, None)  # nothing more is shown
    return times


def sound_times(recording, start, reference, rows):
    """{event: CLOCK_MONOTONIC seconds its row was heard}, matched near each row, so that a gap the
    stream left earlier does not shift it."""
    lag = next((lag for lag in (align(recording, reference, at) for at in (0.5, 1.5, 2.5)) if lag is not None), None)
    if lag is None:
        return {}
    causes = {}
    for state, position in ENTRY_POSITIONS.items():
        causes["scene: " + SCENE_NAMES[state]] = max(t for (o, _), t in rows.items() if o == position - 1)
    for position in FADE_POSITIONS:
        causes["fade at %d" % position] = rows[(position, FADE_ROW)]
    causes["end"] = rows[END]
    times = {}
    for event, seconds in sorted(causes.items(), key=lambda item: item[1]):
        # Matched just after the row begins, from a little before the last match: a gap or a skip
        # in the stream moves the rest of the recording.
        here = next((found for found in (align(recording, reference, seconds + delay, near=lag)
                                         for delay in (0.0, 0.02, 0.05, -0.05)) if found is not None), None)
        lag = lag if here is None else here
        times[event] = start + lag / harness.RATE + seconds
    return times


class SinkLatency:
    """Samples the null sink's latency (what it has passed to its monitor but not yet played)
    every 0.2 s while the block runs: the monitor hears everything that much early."""

    def __init__(self, client_env):
        self.env, self.samples, self.running = client_env, [], True

    def __enter__(self):
        self.thread = threading.Thread(target=self.watch, daemon=True)
        self.thread.start()
        return self

    def watch(self):
        while self.running:
            listing = subprocess.run(["pactl", "list", "sinks"], env=self.env, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, text=True).stdout
            found = re.search(r"Latency: (\d+) usec", listing)
            if found:
                self.samples.append(int(found.group(1)) / 1000)
            time.sleep(0.2)

    def __exit__(self, *exc):
        self.running = False
        self.thread.join(10)

    def mean_ms(self):
        return statistics.mean(self.samples) if self.samples else None


def live_show(build, width, height, buffer_ms=None, encode=False, reference=None):
    """One whole show; its figures as a dict."""
    probe = os.path.join(build, "tests", "headless", "intro_probe")
    frames_folder = tempfile.mkdtemp(prefix="intro-stream-bench-")
    extra = {"INTRO_PROBE_FRAMES": frames_folder}
    if buffer_ms:
        extra["PULSE_LATENCY_MSEC"] = str(buffer_ms)
    encoder, encoder_log = None, ""
    with harness.PulseServer() as pulse, harness.XServer(width, height) as x, \
            harness.Recorder(pulse.client_env) as recorder, SinkLatency(pulse.client_env) as sink:
        if encode:
            encoder = subprocess.Popen(encoder_command(x.display, width, height), env=pulse.client_env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, start_new_session=True)
        with harness.Intro(x.display, pulse.server, binary=probe, extra_env=extra) as intro:
            try:
                harness.wait_for(lambda: not intro.running(), SHOW_DEADLINE, interval=0.2, what="the show's end")
            except AssertionError:
                x.key("Escape")
            status = intro.wait(30)
            ended = time.monotonic()
            harness.wait_for(lambda: recorder.received >= (ended + 0.3 - recorder.start_time()) * harness.RATE
                             * harness.FRAME_BYTES, 30, what="the recording to pass the end")
            report = intro.process.stderr.read().decode(errors="replace")
        if encoder:
            encoder.send_signal(signal.SIGINT)  # ffmpeg ends its output and prints its last counts
            try:
                encoder_log = encoder.communicate(timeout=60)[1].decode(errors="replace")
            except subprocess.TimeoutExpired:
                harness.stop(encoder)
                encoder_log = ""
    scenes, counts, show_over = parse_probe(report)
    figures = {"status": status, "counts": counts, "rates": {}, "offsets": {}, "sink_ms": sink.mean_ms()}
    for scene in scenes:
        shown = scene["left"] - scene["entered"]
        figures["rates"].setdefault(scene["name"], (scene["frames"] - 1) / shown if shown > 0 else float("nan"))
    if encode:
        figures["encoder"] = encoder_counts(encoder_log)
    try:
        pictures = picture_times(scenes, read_inputs(frames_folder), show_over)
    finally:
        shutil.rmtree(frames_folder, ignore_errors=True)
    sounds = sound_times(recorder.samples(), recorder.start_time(), *reference)
    figures["offsets"] = {event: tuple(None if at is None else (at - sounds[event]) * 1000 for at in pictures[event])
                          for event in sounds if event in pictures}
    return figures


def cell(value, form="%.1f"):
    return "%14s" % ("-" if value is None else form % value)


def print_shows(title, builds, shows):
    print(title)
    print("  %-24s" % "" + "".join("%14s" % name for name, _ in builds))
    lines = [("exit status", lambda f: f["status"], "%d"),
             ("underflows", lambda f: f["counts"] and f["counts"]["underflows"], "%d"),
             ("  after the first second", lambda f: f["counts"] and f["counts"]["after_start"], "%d"),
             ("buffer at the end (ms)", lambda f: f["counts"] and f["counts"]["latency_us"] / 1000, "%.0f"),
             ("sink latency, mean (ms)", lambda f: f["sink_ms"], "%.1f")]
    if "encoder" in shows[0]:
        lines += [("encoder frames", lambda f: f["encoder"] and f["encoder"][0], "%d"),
                  ("  dropped", lambda f: f["encoder"] and f["encoder"][1], "%d"),
                  ("  duplicated", lambda f: f["encoder"] and f["encoder"][2], "%d")]
    for label, get, form in lines:
        print("  %-24s" % label + "".join(cell(get(f), form) for f in shows))
    print("  frames per second")
    for name in shows[-1]["rates"]:
        print("    %-22s" % name + "".join(cell(f["rates"].get(name)) for f in shows))
    print("  pictures after the sound (ms): the frame that first shows it began / was shown")
    events = list(shows[-1]["offsets"]) or list(shows[0]["offsets"])
    both = lambda pair: "%14s" % "/".join("-" if v is None else "%+.0f" % v for v in pair) if pair else cell(None)
    for event in events:
        print("    %-22s" % event + "".join(both(f["offsets"].get(event)) for f in shows))
    for kind, pick in (("scene changes", "scene"), ("fades", "fade")):
        means = []
        for f in shows:
            pairs = [v for e, v in f["offsets"].items() if e.startswith(pick)]
            means.append(tuple(statistics.mean(p[i] for p in pairs) for i in (0, 1)) if pairs else None)
        print("    %-22s" % ("mean of the " + kind) + "".join(both(m) for m in means))
    sys.stdout.flush()


def main():
    builds = harness.compared_builds(sys.argv, os.path.join(root, "build"))
    folder = tempfile.mkdtemp(prefix="intro-stream-reference-")
    try:
        reference = harness.render_reference(folder, END[0], END[1] + 1)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for width, height in STREAM_SIZES if "stream" in PARTS else []:
        shows = [live_show(build, width, height, encode=True, reference=reference) for _, build in builds]
        print_shows("\nstreamed at %d x %d (x11grab 30 Hz + monitor, libx264 veryfast 4500k, aac):"
                    % (width, height), builds, shows)
    for buffer_ms in BUFFERS_MS if "buffers" in PARTS else []:
        shows = [live_show(build, 854, 480, buffer_ms=buffer_ms, reference=reference) for _, build in builds]
        print_shows("\nat 854 x 480 with the stream's buffer held at %d ms, no encoder:" % buffer_ms, builds, shows)


if __name__ == "__main__":
    main()
