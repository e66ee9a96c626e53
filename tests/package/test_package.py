"""The Debian package and the tarball that CPack makes from the build folder
it runs in: the control data (architecture, version, section, dependencies
computed from the binaries), the installed tree (the same in both), lintian
finding no errors, and the unpacked programs run: the intro in a private
Xvfb with a private PulseAudio to the welcome screen and Escape, the tools'
--version."""

import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "headless"))
import harness  # noqa: E402
import test_screens as screens  # noqa: E402

BUILD = os.environ["INTRO_BUILD"]
VERSION = os.environ["INTRO_VERSION"]
ARCHITECTURE = subprocess.run(["dpkg", "--print-architecture"], check=True, stdout=subprocess.PIPE,
                              text=True).stdout.strip()
LAST_SECOND = harness.RATE * harness.FRAME_BYTES  # bytes of recorded sound
PROGRAMS = ["intro", "capture_show", "render_module", "make_prepared"]
# The runtime libraries the binaries link, as Debian names their packages
# (FFmpeg's carry their soname's major number).  GL is GLVND's libOpenGL,
# which the binaries link; GLX's libGL, which GLFW opens, comes with libglfw3.
RUNTIME_LIBRARIES = {
    "GLFW": r"libglfw3", "libpulse": r"libpulse0", "GL": r"libopengl0", "GLU": r"libglu1-mesa",
    "tinyobjloader": r"libtinyobjloader\w*", "libavformat": r"libavformat\d+", "libavcodec": r"libavcodec\d+",
    "libswscale": r"libswscale\d+", "libavutil": r"libavutil\d+", "EGL": r"libegl1",
}


def dependency_names(depends):
    """Every package a Depends field names, alternatives included."""
    names = []
    for clause in depends.split(","):
        for alternative in clause.split("|"):
            names.append(alternative.split("(")[0].strip())
    return names


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="intro-package-")
        subprocess.run(["cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-G", "DEB;TGZ",
                        "-B", cls.work], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
        cls.deb = os.path.join(cls.work, "intro_%s_%s.deb" % (VERSION, ARCHITECTURE))
        cls.tarball = os.path.join(cls.work, "intro_%s_%s.tar.gz" % (VERSION, ARCHITECTURE))
        cls.root = os.path.join(cls.work, "root")
        subprocess.run(["dpkg-deb", "-x", cls.deb, cls.root], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.deb, name], check=True, stdout=subprocess.PIPE,
                              text=True).stdout.strip()

    def test_control_data(self):
        self.assertEqual(self.field("Package"), "intro")
        self.assertEqual(self.field("Version"), VERSION)
        self.assertEqual(self.field("Architecture"), ARCHITECTURE)
        self.assertEqual(self.field("Section"), "games")
        description = self.field("Description").splitlines()
        self.assertGreater(len(description), 3, "no extended description")
        names = dependency_names(self.field("Depends"))
        for library, package in RUNTIME_LIBRARIES.items():
            self.assertTrue(any(re.fullmatch(package, name) for name in names),
                            "no dependency for %s in %s" % (library, names))

    def test_installed_tree(self):
        usr = os.path.join(self.root, "usr")
        self.assertTrue(os.access(os.path.join(usr, "games/intro"), os.X_OK))
        for tool in PROGRAMS[1:]:
            self.assertTrue(os.access(os.path.join(usr, "bin", tool), os.X_OK), tool)
        self.assertTrue(os.path.isfile(os.path.join(usr, "share/man/man6/intro.6.gz")))
        for tool in PROGRAMS[1:]:
            self.assertTrue(os.path.isfile(os.path.join(usr, "share/man/man1/%s.1.gz" % tool)), tool)
        for doc in ("README.md", "LICENSE.TXT", "copyright", "changelog.gz"):
            self.assertTrue(os.path.isfile(os.path.join(usr, "share/doc/intro", doc)), doc)

        # The desktop entry starts a program the package holds, with an icon it holds.
        with open(os.path.join(usr, "share/applications/intro.desktop")) as f:
            entry = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.assertTrue(any(os.path.isfile(os.path.join(usr, folder, entry["Exec"])) for folder in ("games", "bin")))
        icon = os.path.join(usr, "share/icons/hicolor/192x192/apps", entry["Icon"] + ".png")
        with open(icon, "rb") as f:
            header = f.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", header[16:24]), (192, 192), "icon size and folder differ")

        # The tarball holds the same tree, under one top folder.
        deb_files = {os.path.relpath(os.path.join(folder, name), usr)
                     for folder, _, names in os.walk(usr) for name in names}
        with tarfile.open(self.tarball) as tar:
            tar_files = {member.name.split("/", 1)[1] for member in tar.getmembers() if member.isfile()}
        self.assertEqual(tar_files, deb_files)

    def test_lintian_finds_no_errors(self):
        done = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", self.deb],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        sys.stderr.write(done.stdout)
        self.assertEqual(done.returncode, 0, done.stdout)

    def test_unpacked_tools_print_the_version(self):
        for tool in PROGRAMS[1:]:
            done = subprocess.run([os.path.join(self.root, "usr/bin", tool), "--version"],
                                  stdout=subprocess.PIPE, text=True, timeout=60)
            self.assertEqual((done.returncode, done.stdout), (0, "%s %s\n" % (tool, VERSION)))

    def test_unpacked_intro_plays_to_the_welcome_screen_and_escape(self):
        cells = screens.text_cells(screens.WELCOME_TEXT, 1, *screens.ScreensAt854x480.origin)
        with harness.PulseServer() as pulse, harness.Recorder(pulse.client_env) as recorder, \
                harness.XServer(854, 480) as x, \
                harness.Intro(x.display, pulse.server, binary=os.path.join(self.root, "usr/games/intro")) as intro:
            def welcome_shown():
                if not intro.running():
                    self.fail("the intro ended early: %s" % intro.process.returncode)
                shot = x.screenshot()
                return not screens.flashing(shot) and screens.glyph_drawn(shot, *cells[0], 1)

            harness.wait_for(welcome_shown, 120, interval=0.01, what="the welcome screen")
            # The music starts with the welcome screen: sound reaches the server.
            harness.wait_for(lambda: any(recorder.samples()[-LAST_SECOND:]), 60,
                             what="sound at the null sink")
            x.key("Escape")
            self.assertEqual(intro.wait(20), 0)

if __name__ == "__main__":
    unittest.main(verbosity=2)
