"""Tests the whole-show test's screenshot recognisers on frames of every
scene drawn by write_scene_frames in a private Xvfb: each must accept its
own scene at every sampled time and reject the other scenes and the text
screens."""

import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "headless"))
import subprocess  # noqa: E402

from harness import SHOTS, XServer, Image  # noqa: E402
import scene_checks  # noqa: E402

FRAMES = os.environ.get("SCENE_FRAMES", "write_scene_frames")


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = data.split(maxsplit=4)
    assert fields[0] == b"P6" and fields[3] == b"255"
    width, height = int(fields[1]), int(fields[2])
    return Image(width, height, bytearray(fields[4][:width * height * 3]))


class SceneRecognisers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="scene-frames-")
        cls.addClassCleanup(shutil.rmtree, cls.folder)
        with XServer(854, 480) as server:
            subprocess.run([FRAMES, cls.folder], env=dict(os.environ, DISPLAY=server.display), check=True,
                           timeout=600)
        cls.frames = {name[:-4]: read_ppm(os.path.join(cls.folder, name))
                      for name in sorted(os.listdir(cls.folder)) if name.endswith(".ppm")}
        if SHOTS:
            os.makedirs(SHOTS, exist_ok=True)
            for name, image in cls.frames.items():
                image.save_png(os.path.join(SHOTS, "frame_" + name + ".png"))

    def check(self, recogniser, prefix):
        own = [n for n in self.frames if n.startswith(prefix)]
        self.assertGreaterEqual(len(own), 4)
        for name, image in self.frames.items():
            with self.subTest(frame=name):
                self.assertEqual(recogniser(image), name.startswith(prefix))

    def test_reflection(self):
        self.check(scene_checks.looks_like_reflection, "reflection_")

    def test_wave(self):
        self.check(scene_checks.looks_like_wave, "wave_")

    def test_street(self):
        self.check(scene_checks.looks_like_street, "street_")

    def test_logo_seen_on_the_near_part_of_its_bounce_only(self):
        # Frames at 2.5 s and 4.2 s have the logo within the fog's reach; 0.4 s and 6 s at the far end.
        for name, visible in (("street_1", True), ("street_2", True), ("street_0", False), ("street_3", False)):
            with self.subTest(frame=name):
                self.assertEqual(scene_checks.street_logo_visible(self.frames[name]), visible)
        for name in ("wave_1", "reflection_1", "text_1"):
            self.assertFalse(scene_checks.street_logo_visible(self.frames[name]), name)

    def test_a_white_flash_is_no_scene(self):
        white = Image(320, 180, bytearray([255]) * (320 * 180 * 3))
        black = Image(320, 180, bytearray(320 * 180 * 3))
        for recogniser in (scene_checks.looks_like_reflection, scene_checks.looks_like_wave,
                           scene_checks.looks_like_street):
            self.assertFalse(recogniser(white))
            self.assertFalse(recogniser(black))


if __name__ == "__main__":
    unittest.main()
