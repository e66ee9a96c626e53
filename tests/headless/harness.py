"""Headless harness: runs the real intro binary inside a private Xvfb (and,
where a test wants sound, a private PulseAudio server), takes screenshots
and sends keys.  Every server is started on its own display and runtime
folder and is stopped again however the test ends."""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

INTRO = os.environ.get("INTRO_BINARY", "intro")
ASSETS = os.environ.get("INTRO_ASSETS", os.path.join(os.path.dirname(__file__), "..", "..", "assets"))
SHOTS = os.environ.get("INTRO_SHOTS")  # folder to keep PNGs of what the tests looked at
PROBE = os.environ.get("INTRO_PROBE", "intro_probe")  # the intro with a report of its scenes at exit
RENDER_MODULE = os.environ.get("INTRO_RENDER_MODULE", "render_module")
SONG = os.environ.get("INTRO_SONG", os.path.join(ASSETS, "song.xm"))
RATE = 48000
FRAME_BYTES = 8  # float32 stereo


def wait_for(condition, timeout, interval=0.05, what="condition"):
    """Polls until condition() returns something true; returns it, or raises."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class Image:
    """An RGB screenshot: pixel(x, y) gives (r, g, b)."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def save_png(self, path):
        with tempfile.NamedTemporaryFile(suffix=".ppm") as ppm:
            ppm.write(b"P6 %d %d 255\n" % (self.width, self.height) + bytes(self.rgb))
            ppm.flush()
            subprocess.run(["convert", ppm.name, path], check=True)


def parse_xwd(data):
    """Decodes the ZPixmap, 32 bits per pixel dump that xwd makes of a TrueColor root."""
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask, ncolors = fields[14], fields[15], fields[16], fields[19]
    if bits_per_pixel != 32 or (red_mask, green_mask, blue_mask) != (0xFF0000, 0xFF00, 0xFF):
        raise ValueError("unexpected screenshot format")
    start = header_size + 12 * ncolors
    pixels = memoryview(data)[start:start + bytes_per_line * height]
    rgb = bytearray(width * height * 3)
    order = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    for channel, offset in enumerate(order):
        for y in range(height):
            row = pixels[y * bytes_per_line + offset:(y + 1) * bytes_per_line:4]
            rgb[(y * width) * 3 + channel:((y + 1) * width) * 3:3] = row[:width]
    return Image(width, height, rgb)


def read_bmp(path):
    """Palette BMP (1, 4 or 8 bits per pixel, uncompressed) to an Image, top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    info_size, width, height, _, bpp, compression = struct.unpack_from("<IiiHHI", data, 14)
    colours = struct.unpack_from("<I", data, 46)[0] or (1 << bpp)
    assert compression == 0 and bpp in (1, 4, 8)
    palette = [data[14 + info_size + 4 * i:14 + info_size + 4 * i + 3][::-1] for i in range(colours)]
    stride = ((width * bpp + 31) // 32) * 4
    rgb = bytearray(width * abs(height) * 3)
    per_byte = 8 // bpp
    for y in range(abs(height)):
        source_row = abs(height) - 1 - y if height > 0 else y
        row = data[offset + source_row * stride:offset + (source_row + 1) * stride]
        for x in range(width):
            byte = row[x // per_byte]
            shift = 8 - bpp * (x % per_byte + 1)
            index = (byte >> shift) & ((1 << bpp) - 1)
            rgb[(y * width + x) * 3:(y * width + x) * 3 + 3] = palette[index]
    return Image(width, abs(height), rgb)


def glyph_mask(font, code):
    """The lit pixels of a font cell, as a list of (dx, dy) in sheet pixels."""
    cx, cy = (code % 32) * 8, (code // 32) * 16
    return [(dx, dy) for dy in range(16) for dx in range(8) if font.pixel(cx + dx, cy + dy)[0] > 127]


class XServer:
    """A private Xvfb on a display number of its own (chosen by the server)."""

    def __init__(self, width, height, glx=True):
        self.width, self.height, self.glx = width, height, glx

    def __enter__(self):
        read_end, write_end = os.pipe()
        args = ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                "%dx%dx24" % (self.width, self.height), "-nolisten", "tcp", "-noreset"]
        if not self.glx:
            args += ["-extension", "GLX"]
        self.process = subprocess.Popen(args, pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self.__exit__(None, None, None)
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        wait_for(lambda: subprocess.run(["xdpyinfo", "-display", self.display], stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL).returncode == 0, 30, what="Xvfb")
        return self

    def __exit__(self, *exc):
        stop(self.process)

    def screenshot(self):
        return parse_xwd(self.screenshot_dump())

    def screenshot_dump(self):
        """The raw xwd dump, for tests that sample many shots and decode few."""
        return subprocess.run(["xwd", "-root", "-silent", "-display", self.display], check=True,
                              stdout=subprocess.PIPE).stdout

    def key(self, *names, action="key"):
        subprocess.run(["xdotool", action] + list(names), env=dict(os.environ, DISPLAY=self.display), check=True)


class PulseServer:
    """A private PulseAudio server with a 48 kHz float null sink."""

    name = "pulseaudio"

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="intro-pulse-")
        os.chmod(self.folder, 0o700)
        self.socket = os.path.join(self.folder, "native")
        with open(os.path.join(self.folder, "default.pa"), "w") as f:
            f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n" % self.socket)
            f.write("load-module module-null-sink sink_name=testnull format=float32le rate=48000 channels=2\n")
            f.write("set-default-sink testnull\n")
        env = dict(os.environ, HOME=self.folder, XDG_RUNTIME_DIR=self.folder)
        self.client_env = dict(env, PULSE_SERVER="unix:" + self.socket)
        self.process = subprocess.Popen(
            ["pulseaudio", "-n", "-F", os.path.join(self.folder, "default.pa"), "--exit-idle-time=-1",
             "--daemonize=no", "--use-pid-file=no"], env=env, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL, start_new_session=True)
        self.server = "unix:" + self.socket
        wait_for(lambda: subprocess.run(["pactl", "info"], env=dict(env, PULSE_SERVER=self.server),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0,
                 30, what="PulseAudio")
        return self

    def __exit__(self, *exc):
        stop(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)

    def kill(self):
        """Ends the server at once, as a crash would."""
        os.killpg(self.process.pid, signal.SIGKILL)
        self.process.wait()


class PipeWireServer:
    """PipeWire with its pulse server and a 48 kHz float null sink, on a
    private session bus and runtime folder.  available() says whether the
    packages are there; the server runs under dbus-run-session because
    wireplumber needs a session bus."""

    name = "pipewire"

    @staticmethod
    def available():
        return all(shutil.which(p) for p in ("pipewire", "pipewire-pulse", "wireplumber", "dbus-run-session"))

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="intro-pipewire-")
        os.chmod(self.folder, 0o700)
        self.socket = os.path.join(self.folder, "pulse", "native")
        env = dict(os.environ, HOME=self.folder, XDG_RUNTIME_DIR=self.folder,
                   XDG_CONFIG_HOME=os.path.join(self.folder, "config"))
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        script = "pipewire & sleep 1; wireplumber & pipewire-pulse & wait"
        self.process = subprocess.Popen(["dbus-run-session", "--", "sh", "-c", script], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        start_new_session=True)
        self.server = "unix:" + self.socket
        self.client_env = dict(env, PULSE_SERVER=self.server)
        try:
            wait_for(lambda: self.pactl("info") is not None, 60, what="pipewire-pulse")
            wait_for(lambda: self.pactl("load-module", "module-null-sink", "sink_name=testnull",
                                        "format=float32le", "rate=48000", "channels=2") is not None, 30,
                     interval=0.5, what="the null sink")
            wait_for(lambda: "testnull" in (self.pactl("list", "short", "sinks") or ""), 30, what="the null sink")
            wait_for(lambda: self.pactl("set-default-sink", "testnull") is not None, 30, what="the default sink")
        except AssertionError:
            self.__exit__()
            raise
        return self

    def pactl(self, *args):
        done = subprocess.run(["pactl"] + list(args), env=self.client_env, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
        return done.stdout if done.returncode == 0 else None

    def __exit__(self, *exc):
        stop(self.process)
        shutil.rmtree(self.folder, ignore_errors=True)


class Recorder:
    """parec on the null sink's monitor, read in a thread.  start_time()
    estimates, on the test's monotonic clock, when the first recorded frame
    reached the sink: each chunk that arrives at time T after B bytes in all
    bounds it by T - B / byte rate, and the least delayed chunk bounds it best."""

    def __init__(self, client_env, source="testnull.monitor"):
        self.args = ["parec", "-d", source, "--format=float32le", "--rate=%d" % RATE, "--channels=2",
                     "--latency-msec=10", "--raw"]
        self.env = client_env

    def __enter__(self):
        self.chunks = []
        self.received = 0
        self.earliest = None
        self.process = subprocess.Popen(self.args, env=self.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, start_new_session=True)
        self.reader = threading.Thread(target=self.read, daemon=True)
        self.reader.start()
        wait_for(lambda: self.received > 0, 30, what="parec's first bytes")
        return self

    def read(self):
        while True:
            chunk = self.process.stdout.read1(1 << 16)
            if not chunk:
                return
            now = time.monotonic()
            self.chunks.append(chunk)
            self.received += len(chunk)
            bound = now - self.received / (RATE * FRAME_BYTES)
            if self.earliest is None or bound < self.earliest:
                self.earliest = bound

    def __exit__(self, *exc):
        stop(self.process)
        self.reader.join(10)
        self.process.stdout.close()

    def samples(self):
        data = b"".join(self.chunks)
        return data[:len(data) // FRAME_BYTES * FRAME_BYTES]

    def start_time(self):
        return self.earliest


class StallWatch:
    """One stall_watch.py per core at real-time priority, for as long as the
    block runs; stalls() gives (woke, length) of every stall they saw.
    Without the right to real-time scheduling nothing is watched and
    `active` is false: a watcher that the load itself delays would excuse
    everything."""

    PRIORITY = 50  # above the intro's audio thread and the sound server's

    def __enter__(self):
        self.processes = []
        self.active = shutil.which("taskset") is not None and subprocess.run(
            ["chrt", "-f", str(self.PRIORITY), "true"], stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL).returncode == 0
        if self.active:
            script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stall_watch.py")
            for core in range(os.cpu_count() or 1):
                self.processes.append(subprocess.Popen(
                    ["taskset", "-c", str(core), "chrt", "-f", str(self.PRIORITY), sys.executable, script],
                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True))
        return self

    def __exit__(self, *exc):
        self.seen = []
        for process in self.processes:
            os.killpg(process.pid, signal.SIGKILL)
            out, _ = process.communicate()
            for line in out.decode().splitlines():
                parts = line.split()
                if len(parts) == 3 and parts[0] == "stall":
                    self.seen.append((float(parts[1]), float(parts[2])))
        self.seen.sort()

    def stalls(self):
        return self.seen


def read_wav_floats(path):
    """The sample bytes of a float32 stereo WAV file (as render_module writes it)."""
    with open(path, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        if tag == b"data":
            return data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    raise ValueError("no data chunk in %s" % path)


def render_reference(folder, until_order, until_row):
    """Offline render of the song up to the given row, and the time of every row read:
    (bytes, {(order, row): seconds})."""
    path = os.path.join(folder, "reference.wav")
    listing = subprocess.run([RENDER_MODULE, SONG, path, "--until", str(until_order), str(until_row), "--rows"],
                             check=True, stdout=subprocess.PIPE, text=True).stdout
    rows = {}
    for line in listing.splitlines():
        seconds, order, row = line.split()[:3]
        rows.setdefault((int(order), int(row)), float(seconds))
    return read_wav_floats(path), rows


def thread_stat(pid, name):
    """The fields of /proc's stat line for the process's thread called name, from its state on
    (state, ppid, ...), or None."""
    folder = "/proc/%d/task" % pid
    try:
        tids = os.listdir(folder)
    except FileNotFoundError:
        return None
    for tid in tids:
        try:
            with open(os.path.join(folder, tid, "comm")) as f:
                if f.read().strip() != name:
                    continue
            with open(os.path.join(folder, tid, "stat")) as f:
                return f.read().rsplit(")", 1)[1].split()
        except (FileNotFoundError, ProcessLookupError):
            continue
    return None


def thread_cpu_ticks(pid, name):
    """User plus system clock ticks of the process's thread called name, or None."""
    fields = thread_stat(pid, name)
    return None if fields is None else int(fields[11]) + int(fields[12])


class Intro:
    """The intro binary running on a display, with or without a sound server."""

    def __init__(self, display, pulse_server=None, binary=None, extra_env=None, command=None):
        self.command = command or [binary or INTRO]
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "PULSE_SERVER")}
        env.update(extra_env or {})
        self.runtime = tempfile.mkdtemp(prefix="intro-run-")
        os.chmod(self.runtime, 0o700)
        env["XDG_RUNTIME_DIR"] = self.runtime
        env["HOME"] = self.runtime
        if display is not None:
            env["DISPLAY"] = display
        # Without a server of its own the intro must find none: point it at a socket that does not exist.
        env["PULSE_SERVER"] = pulse_server or "unix:" + os.path.join(self.runtime, "no-server")
        self.env = env

    def __enter__(self):
        self.started = time.monotonic()
        self.process = subprocess.Popen(self.command, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        start_new_session=True)
        return self

    def __exit__(self, *exc):
        stop(self.process)
        self.process.stdout.close()
        self.process.stderr.close()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def elapsed(self):
        return time.monotonic() - self.started

    def wait(self, timeout):
        """Exit status, or None if the process is still running after timeout seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process.poll() is None


def stop(process):
    if process.poll() is None:
        try:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=10)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()


def read_ppm(path):
    """A binary PPM (P6, 8 bits) as an Image."""
    with open(path, "rb") as f:
        data = f.read()
    fields = data.split(maxsplit=4)
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, fields[4][:width * height * 3])


def keep_shot(image, name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        image.save_png(os.path.join(SHOTS, name + ".png"))


def compared_builds(argv, default):
    """The build folders a benchmark compares, from its command line THIS
    [PREVIOUS] (THIS defaults to `default`): named, previous first, each
    printed with its folder."""
    builds = [("this build", os.path.abspath(argv[1] if len(argv) > 1 else default))]
    if len(argv) > 2:
        builds.insert(0, ("previous", os.path.abspath(argv[2])))
    for name, folder in builds:
        print("%s: %s" % (name, folder))
    return builds
