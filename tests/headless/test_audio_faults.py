"""The show when the sound goes wrong, on the real binary: without a sound
server it runs silently, without an audio thread, and stays on the welcome
screen; a server killed during the music leaves the picture running but
the show no longer advancing, with the audio thread idle, and Escape still
ends it with 0; a stream that keeps running dry is given a longer buffer,
up to its limit, its audio thread scheduled round-robin in real time where
the process may; Escape in a 3D scene ends it with 0 at once."""

import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import test_screens as screens  # noqa: E402
from test_whole_show import parse_probe  # noqa: E402

WELCOME_CELLS = screens.text_cells(screens.WELCOME_TEXT, 1, 271, 192)
AUDIO_THREAD = "intro-audio"
# Position 2, where the welcome screen hands over, comes about 9.2 s into the music.
PAST_THE_WELCOME = 14.0
TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")
POLICY_FIELD = 38  # the scheduling policy (stat's field 41) among harness.thread_stat's fields
# The stream starts at 40 ms and doubles an underflow up to a second: five
# would do, and one more shows that it stops there.
STALLS, STALL_SECONDS = 6, 1.2
LONGEST_BUFFER_US = 1000000


def welcome_typed(shot):
    return not screens.flashing(shot) and all(
        screens.glyph_drawn(shot, code, x, y, 1) for code, x, y in WELCOME_CELLS)


def wait_for_welcome(x, intro):
    def typed():
        if not intro.running():
            raise AssertionError("the intro ended early: %s" % intro.process.returncode)
        return welcome_typed(x.screenshot())
    harness.wait_for(typed, 90, what="the welcome screen typed in full")
    return time.monotonic()


def star_pixels(shot):
    top = WELCOME_CELLS[0][2] - 40
    return {(px, py) for py in range(top, WELCOME_CELLS[0][2] - 2) for px in range(0, shot.width, 2)
            if shot.pixel(px, py) != (0, 0, 0)}


def escape_exits(test, x, intro):
    pressed = time.monotonic()
    x.key("Escape")
    test.assertEqual(intro.wait(20), 0)
    delay = time.monotonic() - pressed
    sys.stderr.write("exit %.3f s after Escape\n" % delay)
    # A frame or two, with room for a loaded machine and xdotool itself.
    test.assertLess(delay, 2.0)


class AudioFaults(unittest.TestCase):
    def test_no_sound_server_gives_a_silent_show_on_the_welcome_screen(self):
        with harness.XServer(854, 480) as x, harness.Intro(x.display) as intro:
            shown = wait_for_welcome(x, intro)
            self.assertIsNone(harness.thread_cpu_ticks(intro.process.pid, AUDIO_THREAD), "an audio thread without a stream")
            first = x.screenshot()
            harness.wait_for(lambda: time.monotonic() - shown > PAST_THE_WELCOME, 60, what="the time to pass")
            later = x.screenshot()
            self.assertTrue(welcome_typed(later), "the show left the welcome screen without music")
            self.assertNotEqual(star_pixels(later), star_pixels(first), "the picture stopped")
            escape_exits(self, x, intro)

    def test_a_sound_server_killed_mid_show_leaves_the_picture_running(self):
        with harness.PulseServer() as pulse, harness.XServer(854, 480) as x, \
                harness.Intro(x.display, pulse.server) as intro:
            wait_for_welcome(x, intro)
            self.assertIsNotNone(harness.thread_cpu_ticks(intro.process.pid, AUDIO_THREAD), "no audio thread")
            pulse.kill()
            killed = time.monotonic()
            first = x.screenshot()
            # The thread has noticed by now; from here on it must sleep, not spin.
            harness.wait_for(lambda: time.monotonic() - killed > 1.0, 10)
            before = harness.thread_cpu_ticks(intro.process.pid, AUDIO_THREAD)
            measured_from = time.monotonic()
            harness.wait_for(lambda: time.monotonic() - killed > PAST_THE_WELCOME, 60, what="the time to pass")
            after = harness.thread_cpu_ticks(intro.process.pid, AUDIO_THREAD)
            if before is not None and after is not None:
                share = (after - before) / TICKS_PER_SECOND / (time.monotonic() - measured_from)
                sys.stderr.write("audio thread after the server died: %.2f%% of a core\n" % (share * 100))
                self.assertLess(share, 0.05, "the audio thread spins without its server")
            later = x.screenshot()
            self.assertTrue(welcome_typed(later), "the show went on without its music")
            self.assertNotEqual(star_pixels(later), star_pixels(first), "the picture stopped")
            escape_exits(self, x, intro)

    def test_a_stream_that_runs_dry_gets_a_longer_buffer_up_to_its_limit_on_a_real_time_thread(self):
        with harness.PulseServer() as pulse, harness.XServer(854, 480) as x, \
                harness.Intro(x.display, pulse.server, binary=harness.PROBE) as intro:
            typed = wait_for_welcome(x, intro)
            if subprocess.run(["chrt", "-r", "1", "true"], stderr=subprocess.DEVNULL).returncode == 0:
                policy = int(harness.thread_stat(intro.process.pid, AUDIO_THREAD)[POLICY_FIELD])
                self.assertEqual(policy, os.SCHED_RR, "the audio thread is not real-time, though it may be")
            harness.wait_for(lambda: time.monotonic() - typed > 1.5, 30, what="the first second of music to pass")
            # Each stop outlasts any buffer the stream may ask for, so the server runs dry every time.
            for _ in range(STALLS):
                intro.process.send_signal(signal.SIGSTOP)
                time.sleep(STALL_SECONDS)
                intro.process.send_signal(signal.SIGCONT)
                resumed = time.monotonic()
                harness.wait_for(lambda: time.monotonic() - resumed > 1.0, 30)
            self.assertTrue(intro.running())
            escape_exits(self, x, intro)
            report = intro.process.stderr.read().decode(errors="replace")
        _, counts, _ = parse_probe(report)
        self.assertIsNotNone(counts, report[-2000:])
        sys.stderr.write("after %d stalls: %d underflows, buffer %d us\n"
                         % (STALLS, counts["after_start"], counts["latency_us"]))
        self.assertGreaterEqual(counts["after_start"], STALLS)
        self.assertEqual(counts["latency_us"], LONGEST_BUFFER_US)

    def test_escape_in_a_3d_scene_exits_with_zero(self):
        with harness.PulseServer() as pulse, harness.XServer(854, 480) as x, \
                harness.Intro(x.display, pulse.server) as intro:
            typed = wait_for_welcome(x, intro)
            # The text is typed within a few seconds of the welcome screen; the
            # reflection scene runs from 9.2 s to 27.7 s into the music.
            harness.wait_for(lambda: time.monotonic() - typed > 10.0, 60, what="the time to pass")
            self.assertFalse(welcome_typed(x.screenshot()), "still on the welcome screen")
            self.assertTrue(intro.running())
            escape_exits(self, x, intro)


if __name__ == "__main__":
    unittest.main(verbosity=2)
