"""Synthesises every sample of the show's music: drums and noises from a
seeded generator, pitched voices additively or from band-limited wave
tables.  Samples are made at RATE, the rate a note plays at when it sits on
its zone's home note, so that the replayer (which does not interpolate)
reads them close to one frame per output frame."""

import math

from xm_file import LOOP_FORWARD, LOOP_PING_PONG, Sample

# XM plays note C-4 of a sample with relative note 0 at 8363 Hz; 30
# semitones up lies just below the 48 kHz output rate.
RATE_SEMITONES = 30
RATE = 8363.0 * 2.0 ** (RATE_SEMITONES / 12.0)
TWO_PI = 2.0 * math.pi


def note_number(name):
    """'A-4' or 'C#5' to XM's 1-based note number (C-0 = 1)."""
    names = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}
    semitone = names[name[0]] + (1 if name[1] == "#" else 0)
    return 12 * int(name[2]) + semitone + 1


def note_frequency(note):
    return 440.0 * 2.0 ** ((note - 58) / 12.0)


def relative_note_for(home_note):
    """Relative note with which `home_note` plays the sample at RATE."""
    return RATE_SEMITONES + 49 - home_note


class Noise:
    """A 32-bit linear congruential generator: the same noise on every run."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) / float(1 << 23) - 1.0


def frames(seconds):
    return int(seconds * RATE)


def normalise(values, peak):
    top = max(abs(v) for v in values) or 1.0
    return [v * peak / top for v in values]


def fade_tail(values, seconds):
    """A raised-cosine fade over the last `seconds`: the sample ends at zero,
    so that its end makes no step (the player does not ramp)."""
    count = min(len(values), frames(seconds))
    out = list(values)
    for i in range(count):
        out[len(out) - count + i] *= 0.5 + 0.5 * math.cos(math.pi * (i + 1) / count)
    return out


def quantise(values, bits):
    top = 127 if bits == 8 else 32767
    return [max(-top, min(top, int(round(v * top)))) for v in values]


def one_pole_lowpass(values, cutoff):
    a = math.exp(-TWO_PI * cutoff / RATE)
    out, y = [], 0.0
    for v in values:
        y = (1.0 - a) * v + a * y
        out.append(y)
    return out


def highpass(values, cutoff):
    low = one_pole_lowpass(values, cutoff)
    return [v - l for v, l in zip(values, low)]


def band_limited_table(amplitudes, size=4096):
    """One cycle with harmonic k at amplitudes[k - 1]."""
    table = [0.0] * size
    for k, a in enumerate(amplitudes, 1):
        if a == 0.0:
            continue
        for i in range(size):
            table[i] += a * math.sin(TWO_PI * k * i / size)
    return table


def read_table(table, frequency, count, phase=0.0):
    size = len(table)
    step = frequency * size / RATE
    position = phase * size
    out = []
    for _ in range(count):
        i = int(position)
        fraction = position - i
        a = table[i % size]
        b = table[(i + 1) % size]
        out.append(a + (b - a) * fraction)
        position += step
        if position >= size:
            position -= size
    return out


def loop_fit(frequency, shortest, longest):
    """Loop length and cycle count whose cycles fit the loop exactly with
    the smallest pitch error, so that a forward loop joins seamlessly."""
    best = None
    for length in range(shortest, longest + 1):
        cycles = max(1, round(frequency * length / RATE))
        error = abs(math.log2(cycles * RATE / length / frequency))
        if best is None or error < best[0]:
            best = (error, length, cycles)
    return best[1], best[2]


def harmonic_limit(home_note, span_semitones, ceiling=19000.0):
    """Harmonics that stay below `ceiling` when the sample is played
    `span_semitones` above its home note."""
    top = note_frequency(home_note) * 2.0 ** (span_semitones / 12.0)
    return max(1, int(ceiling / top))


# Drums and noises -----------------------------------------------------------

def kick():
    count = frames(0.42)
    noise = Noise(11)
    click = one_pole_lowpass([noise.next() for _ in range(count)], 3000.0)
    out, phase = [], 0.0
    for i in range(count):
        t = i / RATE
        frequency = 44.0 + 120.0 * math.exp(-t / 0.03)
        phase += TWO_PI * frequency / RATE
        body = math.sin(phase) * math.exp(-t / 0.23) * min(1.0, t / 0.001)
        out.append(math.tanh(2.4 * body) + click[i] * 0.5 * math.exp(-t / 0.004))
    return Sample("kick", quantise(normalise(fade_tail(out, 0.15), 0.97), 16), 16,
                  relative_note=relative_note_for(note_number("C-4")))


def snare():
    count = frames(0.30)
    noise = Noise(23)
    hiss = highpass([noise.next() for _ in range(count)], 1200.0)
    out = []
    for i in range(count):
        t = i / RATE
        tone = (math.sin(TWO_PI * 186.0 * t) + 0.5 * math.sin(TWO_PI * 331.0 * t)) * math.exp(-t / 0.05)
        out.append(0.8 * tone + 1.3 * hiss[i] * math.exp(-t / 0.11))
    # Saturated: a fuller backbeat for the same peak.
    top = max(abs(v) for v in out)
    out = [math.tanh(2.2 * v / top) for v in out]
    return Sample("snare", quantise(normalise(fade_tail(out, 0.08), 0.97), 16), 16, panning=112,
                  relative_note=relative_note_for(note_number("C-4")))


def metallic(count, seed, decay, cutoff):
    """Noise and six inharmonic square waves, high-passed: cymbal and hat."""
    noise = Noise(seed)
    squares = (205.3, 304.4, 369.6, 522.7, 540.0, 800.0)
    raw = []
    for i in range(count):
        t = i / RATE
        ring = sum(1.0 if math.sin(TWO_PI * f * 1.7 * t) > 0 else -1.0 for f in squares) / 6.0
        raw.append((0.6 * noise.next() + 0.4 * ring) * math.exp(-t / decay))
    return highpass(highpass(raw, cutoff), cutoff)


def hat():
    values = fade_tail(metallic(frames(0.22), 37, 0.06, 6500.0), 0.05)
    return Sample("hat", quantise(normalise(values, 0.97), 8), 8, panning=224,
                  relative_note=relative_note_for(note_number("C-4")))


def crash():
    values = fade_tail(metallic(frames(1.3), 41, 0.45, 4000.0), 0.3)
    return Sample("crash", quantise(normalise(values, 0.97), 8), 8, panning=168,
                  relative_note=relative_note_for(note_number("C-4")))


def riser_noise():
    """Band-passed noise under a ping-pong loop: slid upwards, it rises."""
    count = frames(0.5)
    noise = Noise(53)
    low, band, out = 0.0, 0.0, []
    f = 2.0 * math.sin(math.pi * 900.0 / RATE)
    for _ in range(count):
        high = noise.next() - low - 0.35 * band
        band += f * high
        low += f * band
        out.append(band)
    # Saturated: a dense hiss that can stand level with the band.
    top = max(abs(v) for v in out)
    out = [math.tanh(3.0 * v / top) for v in out]
    start = frames(0.05)
    return Sample("riser", quantise(normalise(out, 0.97), 8), 8, loop_start=start,
                  loop_length=count - start, loop=LOOP_PING_PONG, panning=100,
                  relative_note=relative_note_for(note_number("C-4")))


# Pitched voices -------------------------------------------------------------

def bass_zone(home):
    """Saw and sine sub, its brightness falling over the first 60 ms into a
    steady timbre that loops a whole number of cycles."""
    frequency = note_frequency(home)
    loop_length, cycles = loop_fit(frequency, frames(0.08), frames(0.12))
    frequency = cycles * RATE / loop_length
    attack = frames(0.06)
    count = attack + loop_length
    limit = min(harmonic_limit(home, 19, 16000.0), 120)
    out = [0.0] * count
    for k in range(1, limit + 1):
        w = TWO_PI * k * frequency / RATE
        steady = 1.0 / k / (1.0 + (k * frequency / 700.0) ** 2)
        bright = 1.0 / k / (1.0 + (k * frequency / 2600.0) ** 2)
        for i in range(count):
            mix = max(0.0, 1.0 - i / attack)
            out[i] += (steady + (bright - steady) * mix * mix) * math.sin(w * i)
    for i in range(count):
        out[i] += 0.6 * math.sin(TWO_PI * frequency * i / RATE)
    # Gentle saturation: a denser, louder bass for the same peak.
    top = max(abs(v) for v in out)
    out = [math.tanh(1.6 * v / top) for v in out]
    return Sample("bass " + str(home), quantise(normalise(out, 0.95), 16), 16,
                  loop_start=attack, loop_length=loop_length, loop=LOOP_FORWARD,
                  relative_note=relative_note_for(home))


def pad_zone(home, span):
    """Three detuned saws, soft-topped, read forward and back (ping-pong)."""
    limit = harmonic_limit(home, span, 9000.0)
    table = band_limited_table([1.0 / k / (1.0 + (k / 10.0) ** 2) for k in range(1, limit + 1)])
    count = frames(1.6)
    frequency = note_frequency(home)
    out = [0.0] * count
    for detune, phase in ((-0.0045, 0.0), (0.0, 0.37), (0.0052, 0.71)):
        voice = read_table(table, frequency * (1.0 + detune), count, phase)
        for i in range(count):
            out[i] += voice[i]
    top = max(abs(v) for v in out)
    out = [math.tanh(1.4 * v / top) for v in out]
    start = frames(0.25)
    return Sample("pad " + str(home), quantise(normalise(out, 0.95), 16), 16,
                  loop_start=start, loop_length=count - start, loop=LOOP_PING_PONG,
                  relative_note=relative_note_for(home))


def looped_tone(name, home, span, amplitudes_of, bits, panning, drive=0.0, finetune=0):
    """A steady tone of an exact number of cycles, forward looped; `drive`
    saturates it (denser, louder for the same peak)."""
    frequency = note_frequency(home)
    loop_length, cycles = loop_fit(frequency, frames(0.04), frames(0.07))
    frequency = cycles * RATE / loop_length
    limit = harmonic_limit(home, span)
    table = band_limited_table([amplitudes_of(k) for k in range(1, limit + 1)])
    values = read_table(table, frequency, loop_length)
    if drive:
        top = max(abs(v) for v in values)
        values = [math.tanh(drive * v / top) for v in values]
    return Sample(name + " " + str(home), quantise(normalise(values, 0.95), bits), bits,
                  loop_start=0, loop_length=loop_length, loop=LOOP_FORWARD, panning=panning,
                  relative_note=relative_note_for(home), finetune=finetune)


def lead_zone(home, span, panning, finetune):
    # A 30% pulse with its upper partials eased off: bright but not harsh.
    def amplitude(k):
        return math.sin(math.pi * k * 0.3) / k / (1.0 + (k / 14.0) ** 2)
    return looped_tone("lead", home, span, amplitude, 8, panning, drive=1.6, finetune=finetune)


def pluck_zone(home, span):
    # Square-ish: odd partials strong, a little of the even for body.
    def amplitude(k):
        return (1.0 if k % 2 else 0.25) / k / (1.0 + (k / 9.0) ** 2)
    return looped_tone("pluck", home, span, amplitude, 8, 24)
