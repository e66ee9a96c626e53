"""Headless harness: runs the real intro binary inside a private Xvfb (and,
where a test wants sound, a private PulseAudio server), takes screenshots
and sends keys.  Every server is started on its own display and runtime
folder and is stopped again however the test ends."""

import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time

INTRO = os.environ.get("INTRO_BINARY", "intro")
ASSETS = os.environ.get("INTRO_ASSETS", os.path.join(os.path.dirname(__file__), "..", "..", "assets"))
SHOTS = os.environ.get("INTRO_SHOTS")  # folder to keep PNGs of what the tests looked at


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
        dump = subprocess.run(["xwd", "-root", "-silent", "-display", self.display], check=True,
                              stdout=subprocess.PIPE).stdout
        return parse_xwd(dump)

    def key(self, *names, action="key"):
        subprocess.run(["xdotool", action] + list(names), env=dict(os.environ, DISPLAY=self.display), check=True)


class PulseServer:
    """A private PulseAudio server with a 48 kHz float null sink."""

    def __enter__(self):
        self.folder = tempfile.mkdtemp(prefix="intro-pulse-")
        os.chmod(self.folder, 0o700)
        self.socket = os.path.join(self.folder, "native")
        with open(os.path.join(self.folder, "default.pa"), "w") as f:
            f.write("load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n" % self.socket)
            f.write("load-module module-null-sink sink_name=testnull format=float32le rate=48000 channels=2\n")
            f.write("set-default-sink testnull\n")
        env = dict(os.environ, HOME=self.folder, XDG_RUNTIME_DIR=self.folder)
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


class Intro:
    """The intro binary running on a display, with or without a sound server."""

    def __init__(self, display, pulse_server=None):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "PULSE_SERVER")}
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
        self.process = subprocess.Popen([INTRO], env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
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


def keep_shot(image, name):
    if SHOTS:
        os.makedirs(SHOTS, exist_ok=True)
        image.save_png(os.path.join(SHOTS, name + ".png"))
