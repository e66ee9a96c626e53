"""The Debian packages and the tarball that CPack makes from the build folder
it runs in: the show (intro) and its tools (intro-tools), each with its own
control data (version by release, dependencies computed from the binaries:
the show needs no FFmpeg or EGL, the tools no window or sound server),
files and lintian's verdict; then both installed with apt into a fresh root
of this machine's Debian release, where the intro plays in a private Xvfb
with a private PulseAudio to the welcome screen and Escape, the tools print
their version and the installed capture_show draws the boot console as this
build's does."""

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
VERSION = os.environ["INTRO_PACKAGE_VERSION"]  # e.g. 1.0.0-1~deb12u1
ROOTS = os.environ["INTRO_ROOTS"]  # where the pristine root of this release is kept
DEBIAN_ROOT = os.path.join(os.environ["INTRO_SOURCE"], "tools", "release", "debian_root.sh")
ARCHITECTURE = subprocess.run(["dpkg", "--print-architecture"], check=True, stdout=subprocess.PIPE,
                              text=True).stdout.strip()
LAST_SECOND = harness.RATE * harness.FRAME_BYTES  # bytes of recorded sound
TOOLS = ["capture_show", "render_module", "make_prepared"]
# The runtime libraries each package's binaries link, as Debian names their
# packages (FFmpeg's carry their soname's major number).  GL is GLVND's
# libOpenGL, which the binaries link; GLX's libGL, which GLFW opens, comes
# with libglfw3.
SHOW_LIBRARIES = {"GLFW": r"libglfw3", "libpulse": r"libpulse0", "libdbus": r"libdbus-1-3", "GL": r"libopengl0", "GLU": r"libglu1-mesa",
                  "tinyobjloader": r"libtinyobjloader\w*"}
TOOLS_LIBRARIES = {"GL": r"libopengl0", "GLU": r"libglu1-mesa", "tinyobjloader": r"libtinyobjloader\w*",
                   "libavformat": r"libavformat\d+", "libavcodec": r"libavcodec\d+",
                   "libswscale": r"libswscale\d+", "libavutil": r"libavutil\d+", "EGL": r"libegl1"}


def release():
    with open("/etc/os-release") as f:
        fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    return fields["VERSION_ID"].strip('"'), fields["VERSION_CODENAME"].strip('"')


def dependency_names(depends):
    """Every package a Depends field names, alternatives included."""
    return [alternative.split("(")[0].strip() for clause in depends.split(",") for alternative in clause.split("|")]


def in_root(root, *command, binds=(), **options):
    arguments = ["sh", DEBIAN_ROOT, "run", root]
    for bind in binds:
        arguments += ["--bind", bind]
    return subprocess.run(arguments + ["--", *command], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, **options)


class DebianPackages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="intro-package-", dir=BUILD)
        cls.packages = os.path.join(cls.work, "packages")
        subprocess.run(["cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-G", "DEB;TGZ",
                        "-B", cls.packages], cwd=BUILD, check=True, stdout=subprocess.DEVNULL)
        cls.debs = {name: os.path.join(cls.packages, "%s_%s_%s.deb" % (name, VERSION, ARCHITECTURE))
                    for name in ("intro", "intro-tools")}
        cls.tarball = os.path.join(cls.packages, "intro_%s_%s.tar.gz" % (VERSION, ARCHITECTURE))
        cls.trees = {}
        for name, deb in cls.debs.items():
            cls.trees[name] = os.path.join(cls.work, "tree-" + name)
            subprocess.run(["dpkg-deb", "-x", deb, cls.trees[name]], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def field(self, package, name):
        return subprocess.run(["dpkg-deb", "-f", self.debs[package], name], check=True, stdout=subprocess.PIPE,
                              text=True).stdout.strip()

    def test_control_data(self):
        number, _ = release()
        self.assertTrue(VERSION.endswith("-1~deb%su1" % number), VERSION)
        for package, section, needed, unwanted in [
                ("intro", "games", SHOW_LIBRARIES, r"libav\w+|libswscale\d+|libegl\w*|intro-tools"),
                ("intro-tools", "video", TOOLS_LIBRARIES, r"libglfw\w*|libpulse\w*|intro")]:
            with self.subTest(package=package):
                self.assertEqual(self.field(package, "Package"), package)
                self.assertEqual(self.field(package, "Version"), VERSION)
                self.assertEqual(self.field(package, "Architecture"), ARCHITECTURE)
                self.assertEqual(self.field(package, "Section"), section)
                self.assertGreater(len(self.field(package, "Description").splitlines()), 3, "no extended description")
                names = dependency_names(self.field(package, "Depends"))
                for library, name in needed.items():
                    self.assertTrue(any(re.fullmatch(name, n) for n in names), "no dependency for %s in %s" % (library, names))
                self.assertEqual([n for n in names if re.fullmatch(unwanted, n)], [], "needless dependencies")

    def test_installed_trees(self):
        show, tools = (os.path.join(self.trees[name], "usr") for name in ("intro", "intro-tools"))
        self.assertTrue(os.access(os.path.join(show, "games/intro"), os.X_OK))
        self.assertTrue(os.path.isfile(os.path.join(show, "share/man/man6/intro.6.gz")))
        for tool in TOOLS:
            self.assertTrue(os.access(os.path.join(tools, "bin", tool), os.X_OK), tool)
            self.assertTrue(os.path.isfile(os.path.join(tools, "share/man/man1/%s.1.gz" % tool)), tool)
        for usr, package, docs in ((show, "intro", ("README.md", "LICENSE.TXT")), (tools, "intro-tools", ())):
            for doc in docs + ("copyright", "changelog.Debian.gz"):
                self.assertTrue(os.path.isfile(os.path.join(usr, "share/doc", package, doc)), doc)

        # The desktop entry starts a program the package holds, with an icon it holds.
        with open(os.path.join(show, "share/applications/intro.desktop")) as f:
            entry = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.assertTrue(os.path.isfile(os.path.join(show, "games", entry["Exec"])))
        with open(os.path.join(show, "share/icons/hicolor/192x192/apps", entry["Icon"] + ".png"), "rb") as f:
            header = f.read(24)
        self.assertEqual(header[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", header[16:24]), (192, 192), "icon size and folder differ")

        # The tarball holds both packages' files, under one top folder.
        deb_files = {os.path.relpath(os.path.join(folder, name), usr)
                     for usr in (show, tools) for folder, _, names in os.walk(usr) for name in names}
        with tarfile.open(self.tarball) as tar:
            tar_files = {member.name.split("/", 1)[1] for member in tar.getmembers() if member.isfile()}
        self.assertEqual(tar_files, deb_files)

    def test_lintian_finds_no_errors(self):
        done = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", *self.debs.values()],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        sys.stderr.write(done.stdout)
        self.assertEqual(done.returncode, 0, done.stdout)

    def test_installed_with_apt_into_a_fresh_root(self):
        _, suite = release()
        pristine = os.path.join(ROOTS, suite)
        subprocess.run(["sh", DEBIAN_ROOT, "make", suite, pristine], check=True)
        root = os.path.join(self.work, "root")
        subprocess.run(["sh", DEBIAN_ROOT, "copy", pristine, root], check=True)
        before = set(os.listdir(os.path.join(root, "usr/share/doc")))
        installed = in_root(root, "sh", "-c", "apt-get update -qq && apt-get install -y -qq /packages/*.deb",
                            binds=[self.packages + ":/packages:ro"], timeout=1800)
        self.assertEqual(installed.returncode, 0, installed.stdout[-4000:])
        added = sorted(set(os.listdir(os.path.join(root, "usr/share/doc"))) - before)
        sys.stderr.write("apt installed %d packages into a fresh %s root: %s\n" % (len(added), suite, " ".join(added)))

        for tool in TOOLS:
            done = in_root(root, tool, "--version", timeout=120)
            self.assertEqual((done.returncode, done.stdout), (0, "%s %s\n" % (tool, VERSION.split("-")[0])))

        # The installed capture_show draws the boot console as this build's does.
        out = os.path.join(self.work, "out")
        os.makedirs(out)
        clip = in_root(root, "capture_show", "--lossless", "--size", "320x180", "--fps", "30", "--to", "1",
                       "/out/clip.mkv", binds=[out + ":/out"], timeout=600)
        self.assertEqual(clip.returncode, 0, clip.stdout)
        subprocess.run([os.path.join(BUILD, "tools", "capture_show"), "--size", "320x180", "--fps", "30",
                        "--stills", "0.5", out], check=True, stderr=subprocess.DEVNULL)
        frame = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(out, "clip.mkv"), "-vf",
                                "select=eq(n\\,15)", "-vframes", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"],
                               check=True, stdout=subprocess.PIPE).stdout
        still = subprocess.run(["ffmpeg", "-v", "error", "-i", os.path.join(out, "still_0000.500.png"), "-f",
                                "rawvideo", "-pix_fmt", "rgb24", "-"], check=True, stdout=subprocess.PIPE).stdout
        self.assertEqual(len(frame), 320 * 180 * 3)
        self.assertGreater(sum(1 for value in frame[0::3] if value > 128), 500, "the clip shows nothing")
        self.assertEqual(frame, still, "the installed capture_show draws the boot console otherwise")

        # The installed intro, in a private X server and sound server, to the welcome screen.
        cells = screens.text_cells(screens.WELCOME_TEXT, 1, *screens.ScreensAt854x480.origin)
        with harness.PulseServer() as pulse, harness.Recorder(pulse.client_env) as recorder, \
                harness.XServer(854, 480) as x:
            command = ["sh", DEBIAN_ROOT, "run", root, "--bind", pulse.folder + ":/run/intro-pulse", "--",
                       "env", "DISPLAY=" + x.display, "PULSE_SERVER=unix:/run/intro-pulse/native", "HOME=/tmp",
                       "XDG_RUNTIME_DIR=/tmp", "/usr/games/intro"]
            with harness.Intro(x.display, pulse.server, command=command) as intro:
                def welcome_shown():
                    if not intro.running():
                        self.fail("the intro ended early: %s %s" % (intro.process.returncode,
                                                                     intro.process.stderr.read()))
                    shot = x.screenshot()
                    return not screens.flashing(shot) and screens.glyph_drawn(shot, *cells[0], 1)

                harness.wait_for(welcome_shown, 180, interval=0.01, what="the welcome screen")
                # The music starts with the welcome screen: sound reaches the server.
                harness.wait_for(lambda: any(recorder.samples()[-LAST_SECOND:]), 60, what="sound at the null sink")
                x.key("Escape")
                self.assertEqual(intro.wait(30), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
