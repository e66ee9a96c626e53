"""The intro on a Wayland desktop: a headless sway with XWayland, at output
scales 1 and 2, and a private PulseAudio.  Asked for X11, GLFW runs the show
through XWayland even in a Wayland session; it reaches the welcome screen,
then the reflection scene once the music plays, fills the output, and ends
on Escape with status 0.  With no X server at all, GLFW 3.4 takes Wayland
itself, where GLFW 3.3 (X11 only) can only end with status 1."""

import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402
import scene_checks  # noqa: E402
import test_screens as screens  # noqa: E402

NOBODY = 65534
OUTPUT = (1920, 1080)


class Sway:
    """A headless sway with XWayland forced on, in a private runtime folder,
    with a virtual keyboard kept plugged in so that keys sent later reach
    the focused window.  Sway 1.7 will not run as root: there it runs as
    nobody, whose sockets root can still reach."""

    def __init__(self, scale):
        self.scale = scale

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="intro-sway-")
        os.chmod(self.folder, 0o700)
        config = os.path.join(self.folder, "config")
        found = os.path.join(self.folder, "found")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 mode %dx%d@60Hz scale %d\n" % (OUTPUT + (self.scale,)))
            f.write("xwayland force\n")
            # Sway's own children learn where XWayland listens: this one tells the test, once
            # XWayland, which admits only the user running it, admits root too.
            f.write("exec sh -c 'xhost +si:localuser:root && echo \"$DISPLAY $WAYLAND_DISPLAY\" >%s.partial "
                    "&& mv %s.partial %s'\n" % (found, found, found))
        command = ["sway", "-c", config]
        if os.getuid() == 0:
            os.chown(self.folder, NOBODY, NOBODY)
            command = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"] + command
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK")}
        env.update(XDG_RUNTIME_DIR=self.folder, HOME=self.folder, WLR_BACKENDS="headless",
                   WLR_LIBINPUT_NO_DEVICES="1", WLR_RENDERER="pixman")
        self.processes = [subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                           start_new_session=True)]
        try:
            harness.wait_for(lambda: os.path.exists(found), 60, what="sway and XWayland")
            with open(found) as f:
                self.display, wayland = f.read().split()
            self.wayland = os.path.join(self.folder, wayland)
            self.client_env = dict(env, WAYLAND_DISPLAY=self.wayland,
                                   SWAYSOCK=glob.glob(os.path.join(self.folder, "sway-ipc.*.sock"))[0])
            self.processes.append(subprocess.Popen(["wtype", "-s", "600000"], env=self.client_env,
                                                   start_new_session=True))
            harness.wait_for(lambda: any(i["type"] == "keyboard" for i in json.loads(self.swaymsg("get_inputs"))),
                             30, what="the virtual keyboard")
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *exc):
        for process in reversed(self.processes):
            harness.stop(process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def swaymsg(self, kind):
        return subprocess.run(["swaymsg", "-r", "-t", kind], env=self.client_env, check=True,
                              stdout=subprocess.PIPE, text=True).stdout

    def windows(self):
        """Every window sway holds, as get_tree describes it."""
        found, nodes = [], [json.loads(self.swaymsg("get_tree"))]
        while nodes:
            node = nodes.pop()
            if node.get("shell"):
                found.append(node)
            nodes += node.get("nodes", []) + node.get("floating_nodes", [])
        return found

    def screenshot(self):
        """The output's pixels, at its full 1920 x 1080 whatever the scale."""
        ppm = subprocess.run(["grim", "-t", "ppm", "-"], env=self.client_env, check=True,
                             stdout=subprocess.PIPE).stdout
        fields = ppm.split(maxsplit=4)
        width, height = int(fields[1]), int(fields[2])
        return harness.Image(width, height, fields[4][:width * height * 3])

    def key(self, name):
        subprocess.run(["wtype", "-k", name], env=self.client_env, check=True)


def text_extent(text):
    """Columns and line feeds as the show measures its text to centre it: every byte takes a column."""
    widest = column = line_feeds = 0
    for code in text:
        column += 1
        widest = max(widest, column)
        if code == 10:
            column, line_feeds = 0, line_feeds + 1
    return widest, line_feeds


def glfw_version(binary):
    """The GLFW the binary loads, as (major, minor), from the library's file name."""
    listing = subprocess.run(["ldd", binary], check=True, stdout=subprocess.PIPE, text=True).stdout
    path = re.search(r"libglfw\.so\.3 => (\S+)", listing).group(1)
    major, minor = re.search(r"libglfw\.so\.(\d+)\.(\d+)", os.path.realpath(path)).groups()
    return int(major), int(minor)


class OnWayland(unittest.TestCase):
    def check_show(self, scale):
        logical = (OUTPUT[0] // scale, OUTPUT[1] // scale)
        with harness.PulseServer() as pulse, Sway(scale) as sway, harness.Intro(
                sway.display, pulse.server,
                extra_env={"WAYLAND_DISPLAY": sway.wayland, "XDG_SESSION_TYPE": "wayland"}) as intro:

            def full_screen():
                shown = [w for w in sway.windows() if w.get("pid") == intro.process.pid]
                return shown and shown[0]["fullscreen_mode"] == 1 and shown[0]

            window = harness.wait_for(full_screen, 60, what="the intro's window, full screen")
            self.assertEqual(window["shell"], "xwayland")
            self.assertEqual((window["rect"]["width"], window["rect"]["height"]), logical)

            # XWayland draws at the logical size and sway scales the picture up to the output's pixels.
            text_scale = max(1, logical[1] // 400)
            widest, line_feeds = text_extent(screens.WELCOME_TEXT)
            origin = ((logical[0] - widest * 8 * text_scale) // 2, (logical[1] - line_feeds * 16 * text_scale) // 2)
            cells = screens.text_cells(screens.WELCOME_TEXT, text_scale * scale, origin[0] * scale,
                                       origin[1] * scale)

            def welcome_typed():
                shot = sway.screenshot()
                # The flash that opens the screen is white everywhere, glyphs included.
                typed = all(screens.glyph_drawn(shot, code, cx, cy, text_scale * scale) for code, cx, cy in cells)
                return typed and not screens.flashing(shot) and shot

            shot = harness.wait_for(welcome_typed, 60, interval=0.1, what="the welcome text typed in full")
            self.assertEqual((shot.width, shot.height), OUTPUT)
            harness.keep_shot(shot, "wayland_welcome_scale%d" % scale)

            def reflection():
                shot = sway.screenshot()
                return scene_checks.looks_like_reflection(shot) and shot

            # The recognisers judge the whole picture: a show smaller than the output fails them.
            shot = harness.wait_for(reflection, 60, interval=0.1, what="the reflection scene")
            harness.keep_shot(shot, "wayland_reflection_scale%d" % scale)
            sway.key("Escape")
            self.assertEqual(intro.wait(20), 0)

    def test_through_xwayland_at_scale_1(self):
        self.check_show(1)

    def test_through_xwayland_at_scale_2(self):
        self.check_show(2)

    def test_without_an_x_server(self):
        native = glfw_version(harness.INTRO) >= (3, 4)
        with Sway(1) as sway, harness.Intro(None, extra_env={"WAYLAND_DISPLAY": sway.wayland,
                                                              "XDG_SESSION_TYPE": "wayland"}) as intro:
            if not native:
                self.assertEqual(intro.wait(30), 1)
                return
            shown = harness.wait_for(lambda: [w for w in sway.windows() if w.get("pid") == intro.process.pid],
                                     60, what="the intro's window")
            self.assertEqual(shown[0]["shell"], "xdg_shell")
            sway.key("Escape")
            self.assertEqual(intro.wait(20), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
