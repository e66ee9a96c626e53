"""The release page in a real browser.  make_release_page.py makes it from a
release folder holding a short clip of the show (its chapters and poster
from capture_show), the README's contact sheet and stand-in packages and
tarballs; a private HTTP server on the loopback address serves it to
Debian's Chromium, headless, driven over its DevTools pipe.  The page must
raise no script or console error and fetch nothing from elsewhere; every
link answers; each package shows the release, architecture, size and
SHA-256 of its file; the video has the clip's duration, its chapters track
holds the clip's chapters and it plays; each scene in the list seeks it to
its chapter; at a desktop and a phone width nothing overflows the window
(screenshots kept); every file of the folder is linked."""

import base64
import hashlib
import http.server
import io
import json
import os
import re
import select
import shutil
import subprocess
import sys
import tarfile
import tempfile
import threading
import time
import unittest
import urllib.parse
import urllib.request

CAPTURE = os.environ.get("CAPTURE_SHOW", "capture_show")
GENERATOR = os.environ.get("RELEASE_PAGE", os.path.join(os.path.dirname(__file__), "..", "..", "tools", "release",
                                                        "make_release_page.py"))
CONTACT_SHEET = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "contact_sheet.png")
CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
SHOTS = os.environ.get("INTRO_SHOTS")
# The clip: the end of the boot console, the welcome screen and the start of the reflection scene.
CLIP_FROM, CLIP_TO, FPS, SIZE = 2, 15, 60, (480, 270)
CLIP_CHAPTERS = [("boot console", 0.0, 2.017), ("welcome", 2.017, 11.217), ("reflection", 11.217, 13.0)]
DEADLINE = 120  # seconds for anything the browser does, on a loaded machine


class Browser:
    """Chromium over --remote-debugging-pipe: NUL-separated JSON messages on fds 3 (in) and 4 (out)."""

    def __init__(self):
        self.profile = tempfile.mkdtemp(prefix="chromium-profile-")
        commands, self.commands = os.pipe()
        self.replies, replies = os.pipe()
        flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--mute-audio", "--autoplay-policy=no-user-gesture-required", "--remote-debugging-pipe",
                 "--user-data-dir=" + self.profile, "about:blank"]
        self.log = tempfile.TemporaryFile()
        self.process = subprocess.Popen(["sh", "-c", 'exec "$0" "$@" 3<&%d 4>&%d' % (commands, replies), CHROMIUM,
                                         *flags], pass_fds=(commands, replies), stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=self.log)
        os.close(commands)
        os.close(replies)
        self.pending = b""
        self.last_id = 0
        self.events = []

    def close(self):
        try:
            self.call("Browser.close", timeout=30)
        except (AssertionError, OSError):
            pass  # it may close the pipe before it answers
        try:
            self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.commands)
        os.close(self.replies)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def _message(self, deadline, what):
        while b"\0" not in self.pending:
            left = deadline - time.monotonic()
            ready = select.select([self.replies], [], [], max(left, 0))[0]
            if not ready:
                self.log.seek(0)
                raise AssertionError("no answer to %s in time; the browser's log ends:\n%s"
                                     % (what, self.log.read()[-2000:].decode(errors="replace")))
            data = os.read(self.replies, 1 << 20)
            if not data:
                raise AssertionError("the browser closed its pipe")
            self.pending += data
        message, self.pending = self.pending.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, timeout=DEADLINE, what=None, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._message(deadline, what or method)
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise AssertionError("%s failed: %s" % (method, reply["error"]))
                return reply["result"]
            self.events.append(reply)

    def wait_event(self, method, since, timeout=DEADLINE):
        """The first event `method` from self.events[since] on, waiting for it if need be."""
        for event in self.events[since:]:
            if event.get("method") == method:
                return event
        deadline = time.monotonic() + timeout
        while True:
            event = self._message(deadline, method)
            self.events.append(event)
            if event.get("method") == method:
                return event

    def events_of(self, method):
        return [e["params"] for e in self.events if e.get("method") == method]


class RangeHandler(http.server.SimpleHTTPRequestHandler):
    """Static files with byte ranges, as a web server serves video; records every answer."""

    answers = []

    def log_message(self, *args):
        pass

    def send_head(self):
        path = self.translate_path(self.path)
        wanted = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
        if not wanted or not os.path.isfile(path):
            return super().send_head()
        with open(path, "rb") as f:
            data = f.read()
        first, last = int(wanted.group(1)), min(int(wanted.group(2) or len(data) - 1), len(data) - 1)
        if first > last:
            self.send_error(416)
            return None
        self.send_response(206)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Range", "bytes %d-%d/%d" % (first, last, len(data)))
        self.send_header("Content-Length", str(last - first + 1))
        self.end_headers()
        return io.BytesIO(data[first:last + 1])

    def copyfile(self, source, target):
        try:
            super().copyfile(source, target)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the player stopped reading, as players do when they seek

    def send_response(self, code, message=None):
        RangeHandler.answers.append((self.path, code))
        super().send_response(code, message)


def stand_in_release(folder, version):
    """The clip, its chapters and poster, the contact sheet, packages and tarballs, SHA256SUMS."""
    clip = os.path.join(folder, "intro_%s_%dx%d_%dfps.mp4" % (version, SIZE[0], SIZE[1], FPS))
    chapters = os.path.join(folder, "intro_%s_chapters.vtt" % version)
    size = "%dx%d" % SIZE
    subprocess.run([CAPTURE, "--size", size, "--from", str(CLIP_FROM), "--to", str(CLIP_TO), "--chapters", chapters,
                    clip], check=True, stderr=subprocess.DEVNULL, timeout=600)
    stills = os.path.join(folder, "stills")
    subprocess.run([CAPTURE, "--size", size, "--stills", "14", stills], check=True, stderr=subprocess.DEVNULL,
                   timeout=600)
    os.rename(os.path.join(stills, "still_0014.000.png"), os.path.join(folder, "intro_%s_poster.png" % version))
    os.rmdir(stills)
    shutil.copy(CONTACT_SHEET, os.path.join(folder, "intro_%s_contact_sheet.png" % version))
    packages = {}
    for debian in ("12", "13"):
        for arch in ("amd64", "arm64"):
            build = "%s-1~deb%su1_%s" % (version, debian, arch)
            for package in ("intro", "intro-tools"):
                name = "%s_%s.deb" % (package, build)
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(os.urandom(1000 + len(packages) * 777))
                packages[name] = (debian, arch)
            program = os.path.join(folder, "intro")
            with open(program, "wb") as f:
                f.write(os.urandom(5000))
            name = "intro_%s.tar.gz" % build
            with tarfile.open(os.path.join(folder, name), "w:gz") as archive:
                archive.add(program, "intro_%s/games/intro" % build)
            os.remove(program)
            packages[name] = (debian, arch)
    with open(os.path.join(folder, "NOTES.txt"), "w") as notes:  # a file of no kind the page knows
        notes.write("Stand-in release\n")
    with open(os.path.join(folder, "SHA256SUMS"), "w") as sums:
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as f:
                sums.write("%s  %s\n" % (hashlib.sha256(f.read()).hexdigest(), name))
    return packages


class ReleasePage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="release-page-")
        cls.version = subprocess.run([CAPTURE, "--version"], check=True, stdout=subprocess.PIPE,
                                     text=True).stdout.split()[-1]
        cls.packages = stand_in_release(cls.folder, cls.version)
        subprocess.run([sys.executable, "-B", GENERATOR, cls.folder], check=True)
        handler = lambda *args, **kwargs: RangeHandler(*args, directory=cls.folder, **kwargs)  # noqa: E731
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        cls.origin = "http://127.0.0.1:%d" % cls.server.server_address[1]
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def start_browser(self):
        self.browser = Browser()
        self.addCleanup(self.browser.close)
        target = self.browser.call("Target.createTarget", url="about:blank")["targetId"]
        self.session = self.browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        for domain in ("Runtime", "Log", "Page", "Network"):
            self.browser.call(domain + ".enable", self.session)

    def evaluate(self, expression):
        """The value of a JavaScript expression in the page, awaited if it is a promise."""
        result = self.browser.call("Runtime.evaluate", self.session, expression=expression, returnByValue=True,
                                   awaitPromise=True, what=expression.strip().split("\n")[0] + " ...")
        if "exceptionDetails" in result:
            raise AssertionError("%s threw: %s" % (expression, result["exceptionDetails"]))
        return result["result"].get("value")

    def show_at(self, width, height, mobile):
        self.browser.call("Emulation.setDeviceMetricsOverride", self.session, width=width, height=height,
                          deviceScaleFactor=1, mobile=mobile)
        since = len(self.browser.events)
        self.browser.call("Page.navigate", self.session, url=self.origin + "/index.html")
        self.browser.wait_event("Page.loadEventFired", since)

    def screenshot(self, name):
        content = self.browser.call("Page.getLayoutMetrics", self.session)["cssContentSize"]
        shot = self.browser.call("Page.captureScreenshot", self.session, format="png", captureBeyondViewport=True,
                                 clip={"x": 0, "y": 0, "width": content["width"], "height": content["height"],
                                       "scale": 1})
        if SHOTS:
            os.makedirs(SHOTS, exist_ok=True)
            with open(os.path.join(SHOTS, name + ".png"), "wb") as f:
                f.write(base64.b64decode(shot["data"]))
        sys.stderr.write("release page: %s is %d x %d pixels\n" % (name, content["width"], content["height"]))

    def assertFitsTheWindow(self, width):
        self.assertLessEqual(self.evaluate("document.documentElement.scrollWidth"), width,
                             "the page is wider than a %d pixel window" % width)

    def test_page_plays_seeks_and_links(self):
        self.start_browser()
        self.show_at(1280, 800, False)
        self.assertNothingWentWrong()
        # The video, with the clip's length and chapters.
        duration = self.evaluate("""new Promise(done => {
            const video = document.getElementById("show");
            if (video.readyState >= 1) done(video.duration);
            else video.addEventListener("loadedmetadata", () => done(video.duration), {once: true});
        })""")
        self.assertAlmostEqual(duration, CLIP_TO - CLIP_FROM, delta=0.05)
        cues = self.evaluate("""new Promise(done => {
            const track = document.querySelector("track");
            const cues = () => Array.from(track.track.cues, c => [c.text, c.startTime, c.endTime]);
            if (track.readyState === 2) done(cues());
            else track.addEventListener("load", () => done(cues()), {once: true});
        })""")
        self.assertEqual([tuple(c) for c in cues], CLIP_CHAPTERS)
        scenes = self.evaluate("""Array.from(document.querySelectorAll("ol.scenes a"),
                                             a => [a.textContent, Number(a.dataset.start)])""")
        self.assertEqual(scenes, [["0:%02d%s" % (start, title), start] for title, start, _ in CLIP_CHAPTERS])
        self.evaluate("""(() => { const poster = new Image();
                                  poster.src = document.getElementById("show").poster; return poster.decode(); })()""")
        self.assertFitsTheWindow(1280)
        self.screenshot("release_page_desktop")

        # It plays: the time advances by half a second of video.
        played = self.evaluate("""new Promise((done, failed) => {
            const video = document.getElementById("show");
            video.addEventListener("timeupdate", () => { if (video.currentTime > 0.5) done(video.currentTime); });
            video.addEventListener("error", () => failed(video.error.message));
            video.play().catch(failed);
        })""")
        self.assertGreater(played, 0.5)
        sys.stderr.write("release page: the video lasts %.3f s and played to %.3f s\n" % (duration, played))

        # Each scene's link seeks to its chapter (last first, so that every seek moves) and plays on from there.
        for title, start, _ in reversed(CLIP_CHAPTERS):
            asked, landed = self.evaluate("""new Promise(done => {
                const video = document.getElementById("show");
                let asked;
                video.addEventListener("seeking", () => { asked = video.currentTime; }, {once: true});
                video.addEventListener("seeked", () => done([asked, video.currentTime]), {once: true});
                Array.from(document.querySelectorAll("ol.scenes a")).find(a => a.textContent.endsWith(%s)).click();
            })""" % json.dumps(title))
            self.assertAlmostEqual(asked, start, delta=1e-6, msg="the link of %s" % title)
            self.assertTrue(start <= landed < start + 0.5, "the link of %s landed at %.3f s" % (title, landed))
            sys.stderr.write("release page: %s seeks to %.3f s, lands at %.3f s\n" % (title, asked, landed))

        # Each package and tarball: the release and architecture of its name, the size and hash of its file.
        items = self.evaluate("""Array.from(document.querySelectorAll(".file"), item => [
            item.querySelector("h4").textContent, item.closest(".build").querySelector("h3").textContent,
            item.textContent.replace(/\\s+/g, " ")])""")
        self.assertEqual(sorted(item[0] for item in items), sorted(self.packages))
        for name, platform, text in items:
            debian, arch = self.packages[name]
            with open(os.path.join(self.folder, name), "rb") as f:
                data = f.read()
            self.assertEqual(platform, "%s on %s" % ({"12": "Debian 12 \u201cbookworm\u201d",
                                                      "13": "Debian 13 \u201ctrixie\u201d"}[debian],
                                                     {"amd64": "x86-64 (amd64)", "arm64": "aarch64 (arm64)"}[arch]))
            self.assertIn(hashlib.sha256(data).hexdigest(), text)
            self.assertIn("%.1f kB" % (len(data) / 1000), text)
            command = ("tar -xzf %s ./intro_%s/games/intro" % (name, name[6:-7]) if name.endswith(".tar.gz")
                       else "sudo apt install ./" + name)
            self.assertIn(command, text)

        # Every link and every file the page names answers, from this server alone.
        urls = self.evaluate("""Array.from(document.querySelectorAll("a[href], [src], video[poster]"),
            e => e.href || e.src || e.poster)""")
        linked = {urllib.parse.unquote(urllib.parse.urlsplit(url).path)[1:] for url in urls}
        self.assertEqual(sorted(set(os.listdir(self.folder)) - linked), ["index.html"], "files the page leaves out")
        for url in set(urls):
            with self.subTest(url=url):
                self.assertTrue(url.startswith(self.origin + "/"), "the page links elsewhere")
                with urllib.request.urlopen(url, timeout=DEADLINE) as answer:
                    self.assertEqual(answer.status, 200)
                    answer.read()

        self.show_at(390, 844, True)
        self.assertFitsTheWindow(390)
        self.screenshot("release_page_phone")
        self.assertNothingWentWrong()

    def test_refusals_leave_no_page(self):
        folder = tempfile.mkdtemp(prefix="release-refused-")
        self.addCleanup(shutil.rmtree, folder)

        def refusal(*args):
            return subprocess.run([sys.executable, "-B", GENERATOR, *args], stderr=subprocess.PIPE, text=True)
        self.assertEqual(refusal().returncode, 2)
        self.assertIn("not a folder", refusal(os.path.join(folder, "none")).stderr)
        self.assertIn("no file of a release", refusal(folder).stderr)
        for name in ("intro_1.0.0-1~deb12u1_amd64.tar.gz", "intro_1.0.1_chapters.vtt"):
            with open(os.path.join(folder, name), "w") as f:
                f.write("WEBVTT\n")
        self.assertIn("versions 1.0.0, 1.0.1", refusal(folder).stderr)
        os.remove(os.path.join(folder, "intro_1.0.1_chapters.vtt"))
        self.assertIn("not a readable tarball", refusal(folder).stderr)
        self.assertEqual(os.listdir(folder), ["intro_1.0.0-1~deb12u1_amd64.tar.gz"])

    def assertNothingWentWrong(self):
        """No exception, no console error, no request that failed or went elsewhere, so far."""
        for event in self.browser.events_of("Runtime.exceptionThrown"):
            self.fail("script error: %s" % event["exceptionDetails"])
        errors = [e for e in self.browser.events_of("Runtime.consoleAPICalled") if e["type"] in ("error", "assert")]
        errors += [e["entry"] for e in self.browser.events_of("Log.entryAdded") if e["entry"]["level"] == "error"]
        self.assertEqual(errors, [])
        requested = [e["request"]["url"] for e in self.browser.events_of("Network.requestWillBeSent")]
        self.assertEqual([u for u in requested if not u.startswith((self.origin + "/", "data:"))], [])
        failed = [e for e in self.browser.events_of("Network.loadingFailed") if not e.get("canceled")]
        self.assertEqual(failed, [])
        self.assertEqual([a for a in RangeHandler.answers if a[1] >= 400], [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
