"""What the song report measures a render by: the renders themselves (the
mix, a channel alone), K-weighted loudness ungated and gated, true peak
four times oversampled, and the energy in a band, also through a small
speaker's 150 Hz to 8 kHz.  Loudness is LU (as LUFS); levels are RMS
over both sides in dBFS."""

import struct
import subprocess

import numpy as np

RATE = 48000


def db(value):
    return 10.0 * np.log10(max(value, 1e-20))


def amplitude_db(value):
    return 20.0 * np.log10(max(value, 1e-10))

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

    def rows_span(self, position, first_row, end_row):  # rows first_row..end_row - 1
        end = self.frame(position, end_row) if end_row < 64 else self.frame(position + 1, 0)
        return self.frame(position, first_row), end

    def loudness(self, start, end):
        return loudness_of(self.k[start:end])

    def level(self, start, end):
        return db(np.mean(self.frames[start:end] ** 2))


def loudness_of(k):
    return -0.691 + db(np.mean(k[:, 0] ** 2) + np.mean(k[:, 1] ** 2))


def part_loudness(solos, channels, start, end):
    if not channels:
        return -200.0
    return loudness_of(sum(solos[c].k[start:end] for c in channels))


def tick_frames(mix):
    """The frame of every tick, by row: {(position, row): [frame of tick 0, ...]}.
    A tick lasts output rate x 20480 / BPM in 1/8192 frame, as the clock counts."""
    out, tick = {}, 0
    for key, (frame, tempo, bpm) in sorted(mix.rows.items(), key=lambda kv: kv[1][0]):
        length = RATE * 20480 // bpm
        first = tick * length // 8192
        out[key] = [frame + (tick + t) * length // 8192 - first for t in range(tempo)]
        tick += tempo
    return out


def integrated_loudness(k):
    """Gated loudness of a K-weighted render: 400 ms blocks every 100 ms, those
    under -70 LUFS left out, then those 10 LU under the rest's mean."""
    block, hop = RATE * 4 // 10, RATE // 10
    power = k[:, 0] ** 2 + k[:, 1] ** 2
    sums = np.concatenate(([0.0], np.cumsum(power)))
    starts = np.arange(0, len(power) - block + 1, hop)
    means = (sums[starts + block] - sums[starts]) / block
    means = means[-0.691 + 10 * np.log10(np.maximum(means, 1e-20)) > -70]
    if not len(means):
        return -200.0
    gate = -0.691 + db(np.mean(means)) - 10
    return -0.691 + db(np.mean(means[-0.691 + 10 * np.log10(means) > gate]))


def true_peak(frames, factor=4, chunk=1 << 16, margin=512):
    """The highest sample of each side resampled `factor` times (band-limited,
    through the spectrum of overlapping chunks): the peak a converter makes."""
    top = 0.0
    for start in range(0, len(frames), chunk):
        first, last = max(0, start - margin), min(len(frames), start + chunk + margin)
        for side in range(2):
            x = frames[first:last, side]
            spectrum = np.fft.rfft(x)
            up = np.fft.irfft(spectrum, factor * len(x)) * factor
            keep = up[factor * (start - first):factor * (min(len(frames), start + chunk) - first)]
            top = max(top, float(np.max(np.abs(keep))))
    return top


def spectrum_of(x):
    """Power by frequency of a stereo stretch, both sides summed; and the frequencies."""
    power = np.abs(np.fft.rfft(x[:, 0])) ** 2 + np.abs(np.fft.rfft(x[:, 1])) ** 2
    return power, np.arange(len(power)) * RATE / len(x)


def band_power(x, low, high):
    power, f = spectrum_of(x)
    return float(power[(f >= low) & (f < high)].sum())


def band_share(x, low, high):
    """The energy between `low` and `high` Hz against the whole (dB)."""
    power, f = spectrum_of(x)
    return db(power[(f >= low) & (f < high)].sum() / max(power.sum(), 1e-30))


def small_speaker(x, low=150.0, high=8000.0):
    """What a speaker passing only `low` to `high` Hz plays of a stereo stretch."""
    out = np.empty_like(x)
    f = np.fft.rfftfreq(len(x), 1.0 / RATE)
    for side in range(2):
        spectrum = np.fft.rfft(x[:, side])
        spectrum[(f < low) | (f >= high)] = 0
        out[:, side] = np.fft.irfft(spectrum, len(x))
    return out
