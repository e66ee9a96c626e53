#!/usr/bin/env python3
"""Writes assets/song.xm: a small XM 0x0104 that stands in for the
show's music until the composed module exists.  22 order positions of
64-row patterns at 104 BPM, rows running at 4 and 2 ticks alternately, two
rows each, as the timeline expects; one synthesised square-wave sample.
Deterministic: the same bytes on every run."""

import os
import struct
import sys

CHANNELS = 4
ROWS = 64
SONG_LENGTH = 22
NOTE_C4 = 49  # C-4 in XM's numbering, 1-based from C-0


def header(pattern_count, instrument_count):
    out = b"Extended Module: " + b"Placeholder".ljust(20, b"\0") + b"\x1a"
    out += b"make_song_xm".ljust(20, b"\0") + struct.pack("<H", 0x0104)
    orders = bytes(i % pattern_count for i in range(SONG_LENGTH)).ljust(256, b"\0")
    out += struct.pack("<IHHHHHHHH", 20 + 256, SONG_LENGTH, 0, CHANNELS, pattern_count,
                       instrument_count, 1, 4, 104)
    return out + orders


def pattern(bass_notes):
    cells = bytearray()
    for row in range(ROWS):
        for channel in range(CHANNELS):
            note = instrument = effect = param = 0
            if channel == 0 and row % 2 == 0:
                effect, param = 0x0F, 4 if row % 4 == 0 else 2  # F04 on rows 0, 4, ...; F02 on 2, 6, ...
            if channel == 1 and row % 8 == 0:
                note, instrument = bass_notes[(row // 8) % len(bass_notes)], 1
            if channel == 2 and row % 16 == 4:
                note, instrument = bass_notes[(row // 16) % len(bass_notes)] + 24, 1
            cells += bytes((note, instrument, 0x40 if note else 0, effect, param))
    return struct.pack("<IBHH", 9, 0, ROWS, len(cells)) + bytes(cells)


def square_sample(length=64):
    values = [40 if i < length // 2 else -40 for i in range(length)]
    deltas = bytearray()
    previous = 0
    for v in values:
        deltas.append((v - previous) & 0xFF)
        previous = v
    return bytes(deltas)


def instrument():
    data = square_sample()
    head = struct.pack("<I", 263) + b"Square".ljust(22, b"\0") + b"\0" + struct.pack("<HI", 1, 40)
    head += bytes(96)  # every note plays sample 0
    head += bytes(48 + 48)  # no envelopes
    head += bytes(14)  # point counts, sustain and loop points, types, autovibrato
    head += struct.pack("<H", 0)  # fadeout
    head = head.ljust(263, b"\0")
    sample = struct.pack("<IIIBbBBbB", len(data), 0, len(data), 40, 0, 1, 128, 0, 0)
    sample += b"square".ljust(22, b"\0")
    return head + sample + data


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "assets")
    patterns = [pattern([NOTE_C4 - 24, NOTE_C4 - 17, NOTE_C4 - 20, NOTE_C4 - 19]),
                pattern([NOTE_C4 - 24, NOTE_C4 - 22, NOTE_C4 - 17, NOTE_C4 - 15])]
    module = header(len(patterns), 1) + b"".join(patterns) + instrument()
    with open(os.path.join(out, "song.xm"), "wb") as f:
        f.write(module)


if __name__ == "__main__":
    main()
