"""The song's tools read the module through xm_file.py: reading the committed
song and writing its records back must give the very same bytes, so that
what the report measures is what the generator wrote."""

import os
import sys

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(root, "tools", "song"))

import xm_file  # noqa: E402

data = open(os.path.join(root, "assets", "song.xm"), "rb").read()
module = xm_file.read_module(data)
again = xm_file.module_bytes(module.name, module.channels, module.orders, module.patterns, module.instruments,
                             module.tempo, module.bpm, module.restart)
failures = []
if again != data:
    at = next((i for i, (a, b) in enumerate(zip(again, data)) if a != b), min(len(again), len(data)))
    failures.append("written back, the song differs from byte %d (%d bytes against %d)" % (at, len(again), len(data)))
if (module.channels, len(module.orders), module.tempo, module.bpm) != (16, 22, 4, 104):
    failures.append("header read as %d channels, %d positions, speed %d, %d BPM" % (
        module.channels, len(module.orders), module.tempo, module.bpm))
kick = next((i for i in module.instruments if i.name == "kick"), None)
if kick is None or any(s.values[0] != 0 or s.values[-1] != 0 for _, s in kick.zones):
    failures.append("the kick's samples do not read back starting and ending at zero")
for failure in failures:
    print("FAIL: " + failure)
if failures:
    sys.exit(1)
print("the song reads back and writes the same %d bytes" % len(data))
