#!/usr/bin/env python3
"""Measures the show's song from renders by render_module, the whole mix and
each channel alone, so that a change to the composition can be judged by
numbers: loudness per section and per channel, the fills into the scene
changes against the rows before them, notes outside the key on the beats
and semitone rubs, the level where the show ends, stereo width, and steps
in the waveform (clicks) where samples end or notes are cut.

    python3 tools/song_report.py RENDER_MODULE [MODULE] [--spectrograms DIR]

Needs numpy and sox (sh tools/install_packages.sh music); RENDER_MODULE is
the built renderer (build/tools/render_module), MODULE defaults to
assets/song.xm.  Loudness is K-weighted and ungated
(LU, as LUFS without the gate); levels are RMS over both sides in dBFS.
With --spectrograms, sox draws one PNG per section and per fill."""

import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

RATE = 48000
SECTIONS = [("intro", 0, 1), ("theme", 2, 5), ("breakdown", 6, 7), ("wave", 8, 11),
            ("greetings", 12, 15), ("climax", 16, 19), ("outro", 20, 21)]
FILLS = (1, 5, 7, 11, 15, 19)  # rows 40-63 lead into the next scene
FILL_ROW = 40
SHOW_END = (21, 62)
BEAT_ROWS = 8  # a quarter note: bars of 32 rows
A_MINOR = {9, 11, 0, 2, 4, 5, 7}  # pitch classes; G# (8) only over E
NOTE_NAMES = ("C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-")


def note_name(note):
    return NOTE_NAMES[(note - 1) % 12] + str((note - 1) // 12)


def db(value):
    return 10.0 * np.log10(max(value, 1e-20))


# The module: pattern cells and whether each instrument is pitched ------------

def read_module(path):
    data = open(path, "rb").read()
    header_size, = struct.unpack_from("<I", data, 60)
    length, _, channels, pattern_count, instrument_count = struct.unpack_from("<HHHHH", data, 64)
    orders = list(data[80:80 + length])
    at = 60 + header_size
    patterns = []
    for _ in range(pattern_count):
        size, _, rows, packed = struct.unpack_from("<IBHH", data, at)
        at += size
        cells, end = [], at + packed
        while at < end:
            mask = data[at]
            if mask & 0x80:
                at += 1
                cell = [0] * 5
                for bit in range(5):
                    if mask & (1 << bit):
                        cell[bit] = data[at]
                        at += 1
            else:
                cell = list(data[at:at + 5])
                at += 5
            cells.append(cell)
        patterns.append([cells[r * channels:(r + 1) * channels] for r in range(rows)])
    instruments = []  # (name, pitched, samples' (peak, end value, loop type))
    for _ in range(instrument_count):
        size, = struct.unpack_from("<I", data, at)
        name = data[at + 4:at + 26].split(b"\0")[0].decode("latin-1")
        samples, = struct.unpack_from("<H", data, at + 27)
        at += size
        headers = []
        for _ in range(samples):
            byte_length, _, _, _, _, kind = struct.unpack_from("<IIIBbB", data, at)
            headers.append((byte_length, kind))
            at += 40
        ends, pitched = [], False
        for byte_length, kind in headers:
            if kind & 0x10:
                values = np.cumsum(np.frombuffer(data, "<i2", byte_length // 2, at).astype(np.int64))
                values = ((values + 32768) % 65536) - 32768
            else:
                values = np.cumsum(np.frombuffer(data, "i1", byte_length, at).astype(np.int64))
                values = ((values + 128) % 256) - 128
            at += byte_length
            pitched |= (kind & 3) != 0 and periodic(values)  # looped and repeating
            peak = float(np.max(np.abs(values))) if len(values) else 0.0
            ends.append((peak, float(values[-1]) if len(values) else 0.0, kind & 3))
        instruments.append((name, pitched, ends))
    return orders, patterns, channels, instruments


def periodic(values):
    """A pitched sample repeats itself: its autocorrelation peaks high at
    some lag (noise does not)."""
    x = values[len(values) // 4:][:8192].astype(np.float64)
    if len(x) < 4096 or not np.any(x):
        return False
    x -= x.mean()
    spectrum = np.fft.rfft(x, 2 * len(x))
    correlation = np.fft.irfft(spectrum * np.conj(spectrum))[:len(x) // 2]
    return bool(np.max(correlation[20:]) > 0.6 * correlation[0])


# Renders ----------------------------------------------------------------------

def render(render_module, module, wav, extra=()):
    """The song from its start up to where it loops, and the frame of each row."""
    command = [render_module, module, wav, "--seconds", "102", "--rows", *extra]
    log = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    rows = {}
    for line in log.split("\n"):
        if line:
            t, position, row, tempo, bpm = line.split()
            key = (int(position), int(row))
            if key in rows:  # the song starts over: its end is the next position's start
                rows[(max(p for p, _ in rows) + 1, 0)] = (round(float(t) * RATE), int(tempo), int(bpm))
                break
            rows[key] = (round(float(t) * RATE), int(tempo), int(bpm))
    raw = open(wav, "rb").read()
    at = 12
    while raw[at:at + 4] != b"data":
        at += 8 + struct.unpack_from("<I", raw, at + 4)[0]
    size, = struct.unpack_from("<I", raw, at + 4)
    frames = np.frombuffer(raw, "<f4", size // 4, at + 8).reshape(-1, 2).astype(np.float64)
    end = max(rows.values())[0]
    return frames[:end], rows


def k_weighted(frames):
    """The two K-weighting filters at 48 kHz, applied through their frequency
    response on the whole render (zero padded: no wrap-around)."""
    stages = [([1.53512485958697, -2.69169618940638, 1.19839281085285],
               [1.0, -1.69065929318241, 0.73248077421585]),
              ([1.0, -2.0, 1.0], [1.0, -1.99004745483398, 0.99007225036621])]
    n = 1 << int(np.ceil(np.log2(len(frames) + RATE)))
    z = np.exp(-1j * np.pi * np.arange(n // 2 + 1) / (n // 2))
    response = np.ones(n // 2 + 1, complex)
    for b, a in stages:
        response *= (b[0] + b[1] * z + b[2] * z * z) / (a[0] + a[1] * z + a[2] * z * z)
    out = np.empty_like(frames)
    for side in range(2):
        out[:, side] = np.fft.irfft(np.fft.rfft(frames[:, side], n) * response, n)[:len(frames)]
    return out


class Song:
    def __init__(self, frames, rows):
        self.frames, self.rows = frames, rows
        self.k = k_weighted(frames)

    def frame(self, position, row):
        if (position, row) in self.rows:
            return self.rows[(position, row)][0]
        return len(self.frames)

    def span(self, first, last):  # positions first..last inclusive
        return self.frame(first, 0), self.frame(last + 1, 0)

    def loudness(self, start, end):
        k = self.k[start:end]
        return -0.691 + db(np.mean(k[:, 0] ** 2) + np.mean(k[:, 1] ** 2))

    def level(self, start, end):
        return db(np.mean(self.frames[start:end] ** 2))


# The report's parts -----------------------------------------------------------

def section_table(mix, solos, names, parts_of):
    print("Loudness per section (LU, K-weighted, ungated); channels alone:")
    print("  %-10s %6s  " % ("section", "mix") + " ".join("%6s" % n[:6] for n in names))
    for name, first, last in SECTIONS:
        start, end = mix.span(first, last)
        cells = []
        for solo in solos:
            value = solo.loudness(start, end)
            cells.append("%6.1f" % value if value > -70 else "     -")
        print("  %-10s %6.1f  " % (name, mix.loudness(start, end)) + " ".join(cells))
    parts = {}
    for c, name in enumerate(parts_of):
        parts.setdefault(name, []).append(c)
    print("  by part, where a part plays on several channels:")
    for name, channels in parts.items():
        if len(channels) > 1:
            cells = []
            for _, first, last in SECTIONS:
                start, end = mix.span(first, last)
                k = sum(solos[c].k[start:end] for c in channels)
                value = -0.691 + db(np.mean(k[:, 0] ** 2) + np.mean(k[:, 1] ** 2))
                cells.append("%.1f" % value if value > -70 else "-")
            print("    %s (channels %s): %s" % (name, ",".join(str(c + 1) for c in channels), " ".join(cells)))
    print("  by position: " + " ".join("%.1f" % mix.loudness(*mix.span(p, p)) for p in range(SECTIONS[-1][2] + 1)))
    print("  position 0 by eight rows: " + " ".join(
        "%.1f" % mix.level(mix.frame(0, r), mix.frame(0, r + 8) if r < 56 else mix.frame(1, 0))
        for r in range(0, 64, 8)) + " dBFS")


def fills(mix, solos, names):
    print("\nFills (rows 40-63) against rows 0-39 of the same position, RMS dBFS;")
    print("groups of four rows from row 40, and each part's level in the fill:")
    for position in FILLS:
        start, cut, end = mix.frame(position, 0), mix.frame(position, FILL_ROW), mix.frame(position + 1, 0)
        groups = [mix.level(mix.frame(position, r), mix.frame(position, r + 4) if r < 60 else end)
                  for r in range(FILL_ROW, 64, 4)]
        print("  position %2d: before %6.1f  fill %6.1f  (%+.1f)  by fours: %s" % (
            position, mix.level(start, cut), mix.level(cut, end),
            mix.level(cut, end) - mix.level(start, cut), " ".join("%.1f" % g for g in groups)))
        parts = []
        for name, solo in zip(names, solos):
            level = solo.level(cut, end)
            if level > -60:
                parts.append("%s %.1f" % (name, level))
        print("               parts: " + ", ".join(parts))


def sounding_notes(mix, solos, patterns, orders, instruments):
    """For every row, the note each pitched channel sounds (its last note, or
    the target of a slide) while its render is audible."""
    state = [None] * len(solos)
    instrument_of = [0] * len(solos)
    out = {}
    for position, pattern_index in enumerate(orders):
        for row, cells in enumerate(patterns[pattern_index]):
            start, end = mix.frame(position, row), mix.frame(position, row + 1) if row < 63 else \
                mix.frame(position + 1, 0)
            notes = []
            for c, cell in enumerate(cells):
                if 1 <= cell[0] <= 96:
                    state[c] = cell[0]
                    if cell[1]:
                        instrument_of[c] = cell[1]
                elif cell[0] == 97:
                    state[c] = None
                if state[c] is None or not instrument_of[c]:
                    continue
                name, pitched, _ = instruments[instrument_of[c] - 1]
                middle = (start + end) // 2
                if pitched and solos[c].level(middle, end) > -50:
                    notes.append((c, state[c], name))
            out[(position, row)] = notes
    return out


def harmony(notes_by_row):
    print("\nNotes outside A minor on the beats (G# only with an E), and semitone")
    print("rubs (minor seconds and ninths: on the beats; any row within one timbre):")
    found = 0
    for (position, row), notes in sorted(notes_by_row.items()):
        if not notes:
            continue
        dominant = any((n - 1) % 12 == 4 for _, n, _ in notes)
        beat = row % BEAT_ROWS == 0
        for c, note, name in notes:
            pc = (note - 1) % 12
            if beat and pc not in A_MINOR and not (pc == 8 and dominant):
                found += 1
                print("  %2d:%02d channel %d %s %s outside the key" % (position, row, c + 1, name, note_name(note)))
        for i, (c1, n1, name1) in enumerate(notes):
            for c2, n2, name2 in notes[i + 1:]:
                apart = abs(n1 - n2)
                if apart in (1, 13) and (beat or name1 == name2):
                    found += 1
                    print("  %2d:%02d %s %s (ch %d) against %s %s (ch %d)" % (
                        position, row, name1, note_name(n1), c1 + 1, name2, note_name(n2), c2 + 1))
    if not found:
        print("  none")


def ending(mix):
    position, row = SHOW_END
    at = mix.frame(position, row)
    print("\nThe show's end (%d:%02d at %.2f s):" % (position, row, at / RATE))
    for r in range(row - 16, row + 1, 4):
        start = mix.frame(position, r)
        print("  row %d: %.1f dBFS RMS" % (r, mix.level(start, mix.frame(position, r + 1))))
    print("  peak over row %d: %.1f dBFS" % (row, 20 * np.log10(max(1e-10, np.max(np.abs(
        mix.frames[at:mix.frame(position, row + 1)]))))))


def stereo(mix):
    print("\nStereo per section: left-right correlation, side under mid (dB):")
    for name, first, last in SECTIONS:
        start, end = mix.span(first, last)
        left, right = mix.frames[start:end, 0], mix.frames[start:end, 1]
        correlation = np.sum(left * right) / np.sqrt(np.sum(left * left) * np.sum(right * right))
        mid, side = np.mean((left + right) ** 2), np.mean((left - right) ** 2)
        print("  %-10s %.3f  %5.1f" % (name, correlation, db(mid) - db(side)))


def sample_ends(instruments):
    print("\nOne-shot samples: the last value against the peak (0 %: ends at zero):")
    for name, _, ends in instruments:
        for peak, last, loop in ends:
            if loop == 0 and peak:
                print("  %-6s %5.1f %%" % (name, 100 * abs(last) / peak))


def steps(mix, solos, names):
    """At each tick (where notes start, stop and gains change), a jump much
    larger than the channel's own waveform moved just before."""
    print("\nSteps at ticks (clicks), per channel: count over 0.01, median, worst;")
    print("unmasked: larger than four times the rest of the mix's RMS around it:")
    ticks = []
    for (position, row), (frame, tempo, bpm) in sorted(mix.rows.items(), key=lambda kv: kv[1][0]):
        for t in range(tempo):
            ticks.append(frame + int(t * RATE * 2.5 / bpm))
    ticks = np.array([t for t in ticks if 300 < t < len(mix.frames) - 300])
    for name, solo in zip(names, solos):
        x = solo.frames
        second = np.abs(x[2:] - 2 * x[1:-1] + x[:-2]).max(axis=1)  # index i: frame i + 2 - 1
        sizes, where, unmasked = [], [], 0
        for t in ticks:
            local = second[t - 3:t + 2]
            before = second[t - 240:t - 4].max()
            if local.max() > max(0.01, 3 * before):
                f = t - 2 + int(np.argmax(local))
                jump = float(np.abs(x[f + 1] - x[f]).max())
                if jump <= 0.01:
                    continue
                sizes.append(jump)
                where.append(f)
                rest = mix.frames[f - 240:f + 240] - x[f - 240:f + 240]
                if jump > 4 * np.sqrt(np.mean(rest ** 2)):
                    unmasked += 1
        if sizes:
            worst = int(np.argmax(sizes))
            print("  %-6s %4d  median %.3f  worst %.3f at %.2f s  unmasked %d" % (
                name, len(sizes), float(np.median(sizes)), sizes[worst], where[worst] / RATE, unmasked))
        else:
            print("  %-6s    0" % name)


def spectrograms(wav, mix, folder):
    os.makedirs(folder, exist_ok=True)
    spans = [(name, *mix.span(first, last)) for name, first, last in SECTIONS]
    spans += [("fill%02d" % p, mix.frame(p, 32), mix.frame(p + 1, 8)) for p in FILLS]
    for name, start, end in spans:
        subprocess.run(["sox", wav, "-n", "trim", "%ds" % start, "%ds" % (end - start), "spectrogram",
                        "-t", name, "-x", "1200", "-y", "257", "-z", "90",
                        "-o", os.path.join(folder, name + ".png")], check=True)


def main():
    arguments = sys.argv[1:]
    folder = None
    if "--spectrograms" in arguments:
        i = arguments.index("--spectrograms")
        folder = arguments[i + 1]
        del arguments[i:i + 2]
    if not 1 <= len(arguments) <= 2:
        sys.exit(__doc__)
    render_module = arguments[0]
    module = arguments[1] if len(arguments) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "assets", "song.xm")
    orders, patterns, channels, instruments = read_module(module)
    with tempfile.TemporaryDirectory() as work:
        wav = os.path.join(work, "mix.wav")
        mix = Song(*render(render_module, module, wav))
        names = []
        solos = []
        for c in range(channels):
            frames, _ = render(render_module, module, os.path.join(work, "solo.wav"), ("--solo", str(c + 1)))
            solo = Song.__new__(Song)
            solo.frames, solo.rows = frames, mix.rows
            solo.k = k_weighted(frames)
            solos.append(solo)
            used = {cell[1] for p in orders for cells in patterns[p] for cell in [cells[c]] if cell[1]}
            names.append("/".join(instruments[i - 1][0][:5] for i in sorted(used)) or "-")
        print("Song report: %s, %d positions, %.2f s up to the loop\n" % (
            os.path.basename(module), len(orders), mix.frame(len(orders), 0) / RATE))
        for c, name in enumerate(names):
            print("  channel %d: %s" % (c + 1, name))
        print()
        section_table(mix, solos, ["ch%d" % (c + 1) for c in range(channels)],
                      ["".join(ch for ch in n if ch.isalpha() or ch == "/") for n in names])
        fills(mix, solos, ["ch%d" % (c + 1) for c in range(channels)])
        harmony(sounding_notes(mix, solos, patterns, orders, instruments))
        ending(mix)
        stereo(mix)
        sample_ends(instruments)
        steps(mix, solos, ["ch%d" % (c + 1) for c in range(channels)])
        peak = float(np.max(np.abs(mix.frames)))
        print("\nPeak %.2f dBFS; whole song %.1f LU, %.1f dBFS RMS" % (
            20 * np.log10(peak), mix.loudness(0, len(mix.frames)), mix.level(0, len(mix.frames))))
        if folder:
            spectrograms(wav, mix, folder)


if __name__ == "__main__":
    main()
