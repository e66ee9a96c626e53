"""capture_show as a user runs it, with no display and no sound server:
what it refuses and that a refusal leaves no file; a lossless video whose
sound, decoded, is the offline render bit for bit (24-bit FLAC) after the
boot console's silence, whose frames are the stills of the same times and
whose chapters begin where the song puts each scene; a clip's MP4 streams,
with the AAC track aligned to the sample and the chapters inside the clip,
in the file and as WebVTT; the same still twice gives the same bytes; an
interrupted capture leaves nothing; the contact sheet holds every scene."""

import json
import os
import re
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest
from array import array

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "headless"))
import harness  # noqa: E402

CAPTURE = os.environ.get("CAPTURE_SHOW", "capture_show")
SIZE, FPS = (320, 180), 30
SCENES = ["boot console", "welcome", "reflection", "programme", "wave", "greetings", "street", "credits"]
SMALL = ["--size", "%dx%d" % SIZE, "--fps", str(FPS)]
RATE = 48000


def run(*args, env=None):
    return subprocess.run([CAPTURE, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env,
                          timeout=600)


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-show_chapters", "-count_frames",
                          "-of", "json", path], check=True, stdout=subprocess.PIPE).stdout
    return json.loads(out)


def chapters(info):
    """(title, start, end) of each chapter ffprobe found, in seconds."""
    return [(c["tags"]["title"], float(c["start_time"]), float(c["end_time"])) for c in info["chapters"]]


def webvtt_cues(path):
    """(text, start, end) of each cue of a WebVTT file, in seconds."""
    with open(path, encoding="utf-8") as f:
        blocks = f.read().split("\n\n")
    if blocks[0] != "WEBVTT":
        raise ValueError("%s does not start as WebVTT" % path)

    def seconds(stamp):
        hours, minutes, rest = stamp.split(":")
        return int(hours) * 3600 + int(minutes) * 60 + float(rest)
    cues = []
    for block in filter(None, blocks[1:]):
        timing, text = block.strip("\n").split("\n")
        start, end = timing.split(" --> ")
        cues.append((text, seconds(start), seconds(end)))
    return cues


def decode_video_frame(path, index):
    """RGB bytes of picture `index` of a video, or of a PNG at index 0."""
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-vf", "select=eq(n\\,%d)" % index, "-vframes", "1",
                           "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], check=True, stdout=subprocess.PIPE).stdout


def decode_audio(path, fmt):
    return subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", fmt, "-"], check=True,
                          stdout=subprocess.PIPE).stdout


def summary_frame(stderr, what):
    found = re.search(r"the %s at frame (\d+)" % what, stderr)
    return int(found.group(1)) if found else None


def flac_sample(x):
    """The encoder's rule: x * 2^23 rounded half away from zero, clamped to 24 bits."""
    scaled = x * 8388608.0
    value = int(scaled + 0.5) if scaled >= 0 else -int(-scaled + 0.5)
    return max(-8388608, min(8388607, value))


class CaptureShow(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="capture-")
        self.addCleanup(shutil.rmtree, self.folder)

    def assertNothingWritten(self):
        self.assertEqual(os.listdir(self.folder), [], "a refused capture left files behind")

    def test_refusals(self):
        out = os.path.join(self.folder, "show.mp4")
        for args, message in [
            ([], "no output"),
            (["--fps", "23", out], "--fps"),
            (["--fps", "241", out], "--fps"),
            (["--fps", "sixty", out], "--fps"),
            (["--size", "15x100", out], "--size"),
            (["--size", "1920x1080x3", out], "--size"),
            (["--size", "321x180", out], "even"),
            (["--samples", "0", out], "--samples"),
            (["--from", "5", "--to", "4", out], "--to"),
            (["--from", "-1", out], "--from"),
            (["--lossless", out], ".mkv"),
            ([os.path.join(self.folder, "show.avi")], ".mp4"),
            (["--stills", "1,x", self.folder], "--stills"),
            (["--stills", "1", "--lossless", self.folder], "for a video"),
            (["--contact-sheet", os.path.join(self.folder, "sheet.jpg")], ".png"),
            (["--chapters", os.path.join(self.folder, "chapters.txt"), out], ".vtt"),
            (["--chapters", os.path.join(self.folder, "c.vtt"), "--stills", "1", self.folder], "for a video"),
            (["--bogus", out], "unknown option"),
            ([out, os.path.join(self.folder, "other.mp4")], "one output"),
            (["--size"], "needs a value"),
        ]:
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertTrue(result.stderr.startswith("capture_show: "), result.stderr)
        self.assertNothingWritten()
        helped = run("--help")
        self.assertEqual(helped.returncode, 0)
        self.assertIn("--contact-sheet", helped.stdout)

    def test_failures_of_output_gl_and_disk(self):
        for args in (["/proc/self/nowhere/show.mp4"], ["--contact-sheet", "/proc/self/sheet.png"],
                     ["--stills", "1", "/proc/self/stills"]):
            with self.subTest(args=args):
                result = run(*SMALL, *args)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertRegex(result.stderr, r"capture_show: cannot (write|make|create)")
        # A disk that fills up mid-video (a file size limit): the encoder's reason, no file left.
        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, 64 * 1024))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        full = subprocess.run([CAPTURE, *SMALL, "--to", "20", os.path.join(self.folder, "show.mp4")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, preexec_fn=small_files,
                              timeout=600)
        self.assertEqual(full.returncode, 1, full.stderr)
        self.assertIn("File too large", full.stderr)
        # No EGL vendor at all: GLVND finds no driver.
        env = dict(os.environ, __EGL_VENDOR_LIBRARY_FILENAMES=os.path.join(self.folder, "none.json"))
        result = run(*SMALL, os.path.join(self.folder, "show.mp4"), env=env)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("no usable OpenGL", result.stderr)
        # A driver that draws but reads back nothing, saying all is well: from
        # the start no way of drawing passes the check; later, the frame says so.
        for good_reads, args, message in [
                (0, ["show.mp4"], r"cannot draw a 320x180 picture with 4 samples offscreen \(.*pbuffer: .*reads back"),
                (1, ["show.mp4"], r"frame 0: the frame reads back empty"),
                (1, ["--stills", "2,6", "stills"], r"frame 180: the frame reads back empty"),
                (1, ["--contact-sheet", "sheet.png"], r"frame \d+: the frame reads back empty")]:
            with self.subTest(good_reads=good_reads, args=args):
                env = dict(os.environ, LD_PRELOAD=os.environ["INTRO_READS_STOP_WORKING"],
                           INTRO_GOOD_READS=str(good_reads + (1 if args[0] == "--stills" else 0)))
                result = run(*SMALL, *args[:-1], os.path.join(self.folder, args[-1]), env=env)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertRegex(result.stderr, "capture_show: " + message)
                self.assertEqual([name for name in os.listdir(self.folder) if name != "stills"], [])
                if args[0] == "--stills":
                    self.assertEqual(os.listdir(os.path.join(self.folder, "stills")), [], "a still stayed behind")

    def test_interrupted_capture_leaves_nothing(self):
        process = subprocess.Popen([CAPTURE, *SMALL, os.path.join(self.folder, "show.mp4")], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        try:
            harness.wait_for(lambda: any(".partial" in name for name in os.listdir(self.folder)), 60,
                             what="the capture to start writing")
            process.send_signal(signal.SIGINT)
            _, stderr = process.communicate(timeout=60)
        finally:
            if process.poll() is None:
                process.kill()
        self.assertEqual(process.returncode, 130, stderr)
        self.assertIn("interrupted", stderr)
        self.assertNothingWritten()

    def test_lossless_video_is_the_show_to_the_pixel_and_sample(self):
        video = os.path.join(self.folder, "show.mkv")
        result = run(*SMALL, "--lossless", "--chapters", os.path.join(self.folder, "show.vtt"), video)
        self.assertEqual(result.returncode, 0, result.stderr)
        welcome, end = summary_frame(result.stderr, "music starts"), summary_frame(result.stderr, "show ends")
        self.assertEqual(welcome, 4 * FPS + 1, result.stderr)  # the boot console's first frame past 4 s
        info = probe(video)
        streams = {s["codec_type"]: s for s in info["streams"]}
        self.assertEqual(streams["video"]["codec_name"], "ffv1")
        self.assertEqual(int(streams["video"]["nb_read_frames"]), end)
        self.assertEqual(streams["audio"]["codec_name"], "flac")

        # The sound: silence through the boot console, then render_module's render to the sample.
        samples_per_frame = RATE // FPS
        music_start, music_end = welcome * samples_per_frame, end * samples_per_frame
        reference = os.path.join(self.folder, "reference.wav")
        listing = subprocess.run([harness.RENDER_MODULE, harness.SONG, reference, "--seconds",
                                  "%.6f" % ((music_end - music_start) / RATE + 0.1), "--rows"], check=True,
                                 stdout=subprocess.PIPE, text=True).stdout
        floats = array("f", harness.read_wav_floats(reference))[:2 * (music_end - music_start)]
        decoded = array("i", decode_audio(video, "s32le"))
        self.assertEqual(len(decoded), 2 * music_end, "the sound is not as long as the pictures")
        self.assertFalse(any(decoded[:2 * music_start]), "sound before the welcome screen")
        expected = [flac_sample(x) << 8 for x in floats]
        mismatch = next((i for i, (a, b) in enumerate(zip(decoded[2 * music_start:], expected)) if a != b), None)
        self.assertIsNone(mismatch, "the sound differs from the render at frame %s" %
                          (None if mismatch is None else mismatch // 2))
        self.assertNotEqual(expected[:2 * RATE], [0] * (2 * RATE), "the render is silent")

        # A chapter for each scene from the first frame that shows it: a 3D scene or a text screen
        # other than the welcome comes in the frame after the first to sample its position, which
        # the replayer takes on once it has read the last row of the one before.
        read = {}
        for line in listing.splitlines():
            seconds, order, row = line.split()[:3]
            read.setdefault((int(order), int(row)), round(float(seconds) * RATE))
        starts = [0, welcome]
        for position in (2, 6, 8, 12, 16, 20):
            starts.append(next(n for n in range(welcome, end) if n * samples_per_frame - music_start >
                               read[(position - 1, 63)]) + 1)
        expected = [(name, start / FPS, stop / FPS) for name, start, stop in zip(SCENES, starts, starts[1:] + [end])]
        found = chapters(info)
        self.assertEqual([c[0] for c in found], SCENES)
        for (name, start, stop), (_, got_start, got_stop) in zip(expected, found):
            self.assertAlmostEqual(got_start, start, delta=1e-6, msg="chapter %s" % name)
            self.assertAlmostEqual(got_stop, stop, delta=1e-6, msg="chapter %s" % name)
        for (name, start, stop), cue in zip(expected, webvtt_cues(os.path.join(self.folder, "show.vtt"))):
            self.assertEqual(cue, (name, round(start, 3), round(stop, 3)))

        # Frames of the video are the stills of the same times; a still taken twice is the same file.
        times = [2.0, 20.5, 51.0]
        for attempt in ("first", "second"):
            result = run(*SMALL, "--stills", ",".join(str(t) for t in times), os.path.join(self.folder, attempt))
            self.assertEqual(result.returncode, 0, result.stderr)
        for t in times:
            name = "still_%08.3f.png" % t
            with open(os.path.join(self.folder, "first", name), "rb") as a, \
                    open(os.path.join(self.folder, "second", name), "rb") as b:
                self.assertEqual(a.read(), b.read(), "the still at %.1f s differs between two captures" % t)
            still = decode_video_frame(os.path.join(self.folder, "first", name), 0)
            self.assertEqual(len(still), SIZE[0] * SIZE[1] * 3)
            self.assertEqual(decode_video_frame(video, int(t * FPS)), still, "video frame at %.1f s" % t)
            harness.keep_shot(harness.Image(SIZE[0], SIZE[1], still), "capture_still_%05.1f" % t)

    def test_default_video_streams_and_sound_alignment(self):
        video, vtt = os.path.join(self.folder, "clip.mp4"), os.path.join(self.folder, "clip.vtt")
        result = run("--size", "%dx%d" % SIZE, "--from", "2", "--to", "8", "--chapters", vtt, video)
        self.assertEqual(result.returncode, 0, result.stderr)
        info = probe(video)
        streams = {s["codec_type"]: s for s in info["streams"]}
        v, a = streams["video"], streams["audio"]
        self.assertEqual((v["codec_name"], v["pix_fmt"], v["width"], v["height"]), ("h264", "yuv420p") + SIZE)
        self.assertEqual((v["r_frame_rate"], v["avg_frame_rate"], int(v["nb_read_frames"])), ("60/1", "60/1", 360))
        self.assertEqual((a["codec_name"], int(a["sample_rate"]), a["channels"]), ("aac", RATE, 2))
        self.assertAlmostEqual(float(info["format"]["duration"]), 6.0, delta=0.03)
        # The clip's chapters, from its start: the boot console's end and the welcome screen to the clip's end.
        clip_chapters = [("boot console", 0.0, 2.017), ("welcome", 2.017, 6.0)]
        self.assertEqual(chapters(info), clip_chapters)  # the MP4 keeps milliseconds
        self.assertEqual(webvtt_cues(vtt), clip_chapters)

        # AAC is lossy: the decoded track is matched against the render at
        # shifts around the welcome frame's time, and must fit best unshifted.
        music_start = (4 * 60 + 1 - 2 * 60) * (RATE // 60)
        reference = os.path.join(self.folder, "reference.wav")
        subprocess.run([harness.RENDER_MODULE, harness.SONG, reference, "--seconds", "2"], check=True,
                       stdout=subprocess.DEVNULL)
        rendered = array("f", harness.read_wav_floats(reference))
        decoded = array("f", decode_audio(video, "f32le"))
        self.assertFalse(any(abs(x) > 1e-3 for x in decoded[:2 * (music_start - 1024)]), "sound before the music")
        at, length = RATE, 4800  # a tenth of a second, one second into the music
        left = [rendered[2 * (at + i)] for i in range(length)]
        energy = sum(x * x for x in left)

        def error(shift):
            base = music_start + at + shift
            return sum((decoded[2 * (base + i)] - left[i]) ** 2 for i in range(length))
        errors = {shift: error(shift) for shift in range(-48, 49, 4)}
        best = min(errors, key=errors.get)
        sys.stderr.write("AAC against the render: best shift %d samples, error %.1f dB under the signal\n"
                         % (best, 10 * __import__("math").log10(energy / max(errors[best], 1e-30))))
        self.assertEqual(best, 0, "the sound is shifted against the pictures")
        self.assertLess(errors[0], energy * 0.05)

    def test_contact_sheet_shows_every_scene(self):
        sheet = os.path.join(self.folder, "sheet.png")
        result = run(*SMALL, "--contact-sheet", sheet)
        self.assertEqual(result.returncode, 0, result.stderr)
        info = probe(sheet)["streams"][0]
        width, height = info["width"], info["height"]
        rgb = decode_video_frame(sheet, 0)
        image = harness.Image(width, height, rgb)
        harness.keep_shot(image, "capture_contact_sheet")
        # Four cells a row, two rows: each thumbnail is a frame of its scene, with something drawn.
        cell_w, cell_h = (width - 8) // 4 - 8, SIZE[1]
        self.assertEqual(cell_w, SIZE[0])
        cells = []
        for index in range(8):
            left, top = 8 + (index % 4) * (cell_w + 8), 8 + (index // 4) * (height - 8) // 2
            pixels = [image.pixel(x, y) for y in range(top, top + cell_h, 6) for x in range(left, left + cell_w, 6)]
            self.assertGreater(len(set(pixels)), 2, "cell %d is flat" % index)
            cells.append(pixels)
        self.assertEqual(len({tuple(c) for c in cells}), 8, "two cells show the same picture")


if __name__ == "__main__":
    unittest.main(verbosity=2)
