"""Exit statuses of the real binary: Escape ends the show with 0, other keys
and key releases change nothing, and a display that cannot give the window
ends it with 1."""

import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import test_screens as screens  # noqa: E402


def boot_console_up(x):
    return lambda: screens.boot_text_mismatches(x.screenshot()) == 0


class ExitStatuses(unittest.TestCase):
    def test_escape_in_the_boot_console_exits_with_zero(self):
        with harness.XServer(854, 480) as x, harness.Intro(x.display) as intro:
            harness.wait_for(boot_console_up(x), 60, what="the boot console")
            pressed = time.monotonic()
            x.key("Escape")
            self.assertEqual(intro.wait(20), 0)
            sys.stderr.write("exit %.3f s after Escape\n" % (time.monotonic() - pressed))

    def test_other_keys_and_releases_change_nothing(self):
        with harness.XServer(854, 480) as x, harness.Intro(x.display) as intro:
            harness.wait_for(boot_console_up(x), 60, what="the boot console")
            x.key("a", "space", "Return", "F1", "q", "Tab", "BackSpace")
            x.key("Escape", action="keyup")  # a release alone
            cells = screens.text_cells(screens.WELCOME_TEXT, 1, 271, 192)

            def welcome_typed():
                shot = x.screenshot()
                return not screens.flashing(shot) and all(
                    screens.glyph_drawn(shot, code, cx, cy, 1) for code, cx, cy in cells)

            # The show goes on to the welcome screen as if nothing had been pressed.
            harness.wait_for(welcome_typed, 60, what="the welcome screen")
            x.key("a", "Escape", action="keyup")
            x.key("Left", "Right", "Up", "Down")
            time.sleep(0.5)
            self.assertTrue(intro.running())
            pressed = time.monotonic()
            x.key("Escape")
            self.assertEqual(intro.wait(20), 0)
            sys.stderr.write("exit %.3f s after Escape\n" % (time.monotonic() - pressed))

    def test_escape_with_a_sound_server_exits_with_zero(self):
        with harness.PulseServer() as pulse, harness.XServer(854, 480) as x, \
                harness.Intro(x.display, pulse.server) as intro:
            harness.wait_for(boot_console_up(x), 60, what="the boot console")
            x.key("Escape")
            self.assertEqual(intro.wait(20), 0)

    def test_no_display_exits_with_one(self):
        with harness.Intro(None) as intro:
            self.assertEqual(intro.wait(30), 1)
        with harness.Intro(":4097") as intro:  # a display that no server holds
            self.assertEqual(intro.wait(30), 1)

    def test_display_without_glx_exits_with_one(self):
        with harness.XServer(854, 480, glx=False) as x, harness.Intro(x.display) as intro:
            self.assertEqual(intro.wait(30), 1)
            self.assertEqual(intro.process.stdout.read(), b"")  # and prints nothing


if __name__ == "__main__":
    unittest.main(verbosity=2)
