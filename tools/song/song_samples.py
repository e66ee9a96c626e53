"""Synthesises every sample of the show's music: drums and noises from a
seeded generator, pitched voices from band-limited wave tables.  Samples are
made at RATE, the rate a note plays at when it sits on its zone's home note,
so that the replayer (which does not interpolate) reads them close to one
frame per output frame.

The mixer does not ramp its gains, so a sample is the only place where a
sound can start or stop smoothly: every sample starts at zero, and those
that are not looped fade to zero at their end.  The short voices (bass,
pluck, bell, drums) carry their whole life in the sample, so that a note
never has to be cut or released in steps by the tracker."""

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


def seconds_at(note, home_note, seconds):
    """How long `seconds` of a sample made for `home_note` last at `note`."""
    return seconds * 2.0 ** ((home_note - note) / 12.0)


class Noise:
    """A 32-bit linear congruential generator: the same noise on every run."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return (self.state >> 8) / float(1 << 23) - 1.0

    def block(self, count):
        return [self.next() for _ in range(count)]


def frames(seconds):
    return int(seconds * RATE)


def normalise(values, peak):
    top = max(abs(v) for v in values) or 1.0
    return [v * peak / top for v in values]


def saturate(values, drive):
    """tanh on the normalised signal: denser and louder for the same peak."""
    top = max(abs(v) for v in values) or 1.0
    return [math.tanh(drive * v / top) for v in values]


def fade_in(values, seconds):
    """A raised-cosine rise over the first `seconds`: the sample starts at
    zero, so that a note starting makes no step."""
    count = min(len(values), frames(seconds))
    out = list(values)
    for i in range(count):
        out[i] *= 0.5 - 0.5 * math.cos(math.pi * i / count)
    return out


def fade_tail(values, seconds):
    """A raised-cosine fall over the last `seconds`: the sample ends at zero."""
    count = min(len(values), frames(seconds))
    out = list(values)
    for i in range(count):
        out[len(out) - count + i] *= 0.5 + 0.5 * math.cos(math.pi * (i + 1) / count)
    return out


def gate(values, seconds, release):
    """The first `seconds` of a sound, closing over its last `release`."""
    return fade_tail(values[:frames(seconds)], release)


def quantise(values, bits):
    top = 127 if bits == 8 else 32767
    return [max(-top, min(top, int(round(v * top)))) for v in values]


def biquad(values, kind, cutoff, q=0.7071):
    """A two-pole filter (the usual cookbook forms): "lowpass", "highpass"
    or "bandpass" (0 dB at the centre)."""
    w = TWO_PI * cutoff / RATE
    c, alpha = math.cos(w), math.sin(w) / (2.0 * q)
    if kind == "lowpass":
        b = ((1 - c) / 2, 1 - c, (1 - c) / 2)
    elif kind == "highpass":
        b = ((1 + c) / 2, -(1 + c), (1 + c) / 2)
    else:
        b = (alpha, 0.0, -alpha)
    a0, a1, a2 = 1 + alpha, -2 * c, 1 - alpha
    b0, b1, b2 = b[0] / a0, b[1] / a0, b[2] / a0
    a1, a2 = a1 / a0, a2 / a0
    out, x1, x2, y1, y2 = [], 0.0, 0.0, 0.0, 0.0
    for x in values:
        y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, x, y1, y
        out.append(y)
    return out


def band_limited_table(amplitudes, size=4096):
    """One cycle with harmonic k at amplitudes[k - 1] (sine phase)."""
    table = [0.0] * size
    for k, a in enumerate(amplitudes, 1):
        if a == 0.0:
            continue
        for i in range(size):
            table[i] += a * math.sin(TWO_PI * k * i / size)
    return table


def saturated_table(amplitudes, drive):
    """The table of `amplitudes` through tanh, brought back to the same
    harmonics: the drive's colour without partials above the limit, which
    would alias when the sample is played high."""
    table = band_limited_table(amplitudes)
    shaped = saturate(table, drive)
    size = len(shaped)
    return band_limited_table([2.0 / size * sum(shaped[i] * math.sin(TWO_PI * k * i / size) for i in range(size))
                               for k in range(1, len(amplitudes) + 1)])


def sweep_tables(tables, frequency, count, path, phase=0.5):
    """Reads a row of wave tables at `frequency`, moving from one to the next
    as path(i) says (0 = the first table, len - 1 = the last); returns the
    values and the phase where they stop.  Phase 0.5 starts on the zero
    crossing in the middle of the wave, where its slope is gentle."""
    size = len(tables[0])
    step = frequency * size / RATE
    position = phase * size
    last = len(tables) - 1
    out = []
    for n in range(count):
        i = int(position)
        fraction = position - i
        j, k = i % size, (i + 1) % size
        a = tables[0][j] + (tables[0][k] - tables[0][j]) * fraction
        if last:
            where = min(float(last), max(0.0, path(n)))
            t = min(int(where), last - 1)
            a = tables[t][j] + (tables[t][k] - tables[t][j]) * fraction
            b = tables[t + 1][j] + (tables[t + 1][k] - tables[t + 1][j]) * fraction
            a += (b - a) * (where - t)
        out.append(a)
        position += step
        if position >= size:
            position -= size
    return out, position / size


def settling(count, time_constant, last):
    """A path from table 0 to table `last` that moves fast at first and
    arrives exactly after `count` frames."""
    scale = 1.0 - math.exp(-count / (time_constant * RATE))
    return lambda n: last * (1.0 - math.exp(-n / (time_constant * RATE))) / scale


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


def drum(name, values, bits, panning=128, home="C-4"):
    return Sample(name, quantise(normalise(values, 0.97), bits), bits, panning=panning,
                  relative_note=relative_note_for(note_number(home)))


# Drums and noises -----------------------------------------------------------

def kick(name="kick", seconds=0.42, hold=0.03, decay=0.09, home="C-4"):
    """A sine swept from 200 Hz down to 52 Hz, held a moment and decaying,
    with a knock an octave up and a beater at 3.2 kHz inside the same
    saturation: weight for the subwoofers, and an attack that a small
    speaker still plays, its top rolled off.  The medium and short ones, for kicks in quick
    succession, are the same hit closing sooner."""
    count = frames(seconds)
    beater = normalise(biquad(biquad(Noise(11).block(count), "bandpass", 3200.0, 0.6), "bandpass", 3200.0, 0.6),
                       1.0)
    out, phase, knock = [], 0.0, 0.0
    for i in range(count):
        t = i / RATE
        frequency = 52.0 + 150.0 * math.exp(-t / 0.022)
        phase += TWO_PI * frequency / RATE
        knock += TWO_PI * 2.0 * frequency / RATE
        level = 1.0 if t < hold else math.exp(-(t - hold) / decay)
        body = (math.sin(phase) * level + math.sin(knock) * math.exp(-t / 0.015)
                + 6.0 * beater[i] * math.exp(-t / 0.03))
        out.append(math.tanh(4.0 * body))
    # The saturated beater would fizz above 8 kHz: its brightness stops at 6.
    out = biquad(biquad(out, "lowpass", 6000.0), "lowpass", 6000.0)
    return drum(name, fade_tail(fade_in(out, 0.0004), seconds * 0.4), 16, home=home)


def tom():
    """A short tom: a sine falling from 1.6 to 1 times 98 Hz (at home), gone
    in 85 ms so that a run on sixteenths never cuts one off."""
    count = frames(0.085)
    hit = biquad(Noise(17).block(count), "bandpass", 1800.0, 0.8)
    out, phase = [], 0.0
    for i in range(count):
        t = i / RATE
        phase += TWO_PI * 98.0 * (1.0 + 0.6 * math.exp(-t / 0.02)) / RATE
        out.append(math.tanh(1.8 * math.sin(phase) * math.exp(-t / 0.03)) + hit[i] * 0.8 * math.exp(-t / 0.006))
    return drum("tom", fade_tail(fade_in(out, 0.0004), 0.03), 16, home="A-3")


def snare():
    """Two tones, a crack at 2.8 kHz and hiss kept under 8 kHz: a snare that
    cuts through without fizz at the top."""
    count = frames(0.3)
    raw = Noise(23).block(count)
    hiss = biquad(biquad(biquad(raw, "highpass", 1400.0), "lowpass", 6500.0), "lowpass", 6500.0)
    crack = biquad(raw, "bandpass", 2800.0, 1.4)
    out = []
    for i in range(count):
        t = i / RATE
        bend = 1.0 + 0.15 * math.exp(-t / 0.01)
        tone = (math.sin(TWO_PI * 186.0 * bend * t) + 0.5 * math.sin(TWO_PI * 331.0 * bend * t)) * math.exp(-t / 0.08)
        out.append(0.9 * tone + 1.7 * hiss[i] * math.exp(-t / 0.12) + 2.2 * crack[i] * math.exp(-t / 0.025))
    out = biquad(saturate(out, 5.0), "lowpass", 9000.0)
    return drum("snare", fade_tail(fade_in(out, 0.0003), 0.07), 16, panning=112)


def room(name, seed, home, seconds=0.8):
    """One side of a snare's room: noise swelling in after the first
    reflections' 12 ms, its top dying away sooner than its middle, and no
    brighter than the snare it answers."""
    count = frames(seconds)
    raw = biquad(biquad(biquad(Noise(seed).block(count), "highpass", 400.0), "lowpass", 9000.0), "lowpass", 9000.0)
    top = biquad(raw, "highpass", 3500.0)
    middle = biquad(raw, "lowpass", 3500.0)
    out = []
    for i in range(count):
        t = max(0.0, i / RATE - 0.012)
        swell = 1.0 - math.exp(-t / 0.012)
        out.append(swell * (middle[i] * math.exp(-t / 0.17) + 0.8 * top[i] * math.exp(-t / 0.08)))
    return drum(name, fade_tail(out, 0.25), 8, home=home)


def metallic(count, seed, decay, low, high):
    """Noise and six inharmonic square waves between two cut-offs: cymbal and
    hat, their top kept down."""
    noise = Noise(seed)
    squares = (205.3, 304.4, 369.6, 522.7, 540.0, 800.0)
    raw = []
    for i in range(count):
        t = i / RATE
        ring = sum(1.0 if math.sin(TWO_PI * f * 1.7 * t) > 0 else -1.0 for f in squares) / 6.0
        raw.append((0.6 * noise.next() + 0.4 * ring) * math.exp(-t / decay))
    out = biquad(biquad(raw, "highpass", low), "highpass", low)
    return biquad(biquad(out, "lowpass", high), "lowpass", high)


HAT_OPEN_OFFSET = 0x10  # in 256-frame units: where the open hat starts
HAT_DRIVE = 1.2  # denser, so that the hats are heard without a higher peak


def hat():
    """Two hats in one sample: the closed one at the start, the open one at
    HAT_OPEN_OFFSET (played with a sample offset), each starting and ending
    at zero, so that a closed hat needs no note cut."""
    closed = fade_tail(fade_in(saturate(metallic(frames(0.045), 37, 0.025, 6000.0, 12000.0), HAT_DRIVE), 0.0002), 0.02)
    opened = fade_tail(fade_in(saturate(metallic(frames(0.17), 38, 0.055, 5500.0, 12000.0), HAT_DRIVE), 0.0002), 0.07)
    top = max(abs(v) for v in opened)
    closed = [v * 0.9 * top / max(abs(v) for v in closed) for v in closed]
    values = closed + [0.0] * (HAT_OPEN_OFFSET * 256 - len(closed)) + opened
    return drum("hat", values, 8)


def crash():
    values = metallic(frames(1.3), 41, 0.42, 3500.0, 9000.0)
    return drum("crash", fade_tail(fade_in(values, 0.0003), 0.3), 8, panning=168)


def riser_noise():
    """Band-passed noise around 1.1 kHz under a ping-pong loop: slid from two
    octaves under its home note to nearly two above, it sweeps 300 Hz to
    4 kHz."""
    count = frames(0.5)
    out = saturate(biquad(biquad(Noise(53).block(count), "bandpass", 1100.0, 1.2), "bandpass", 1100.0, 1.2), 3.0)
    start = frames(0.05)
    return Sample("riser", quantise(normalise(fade_in(out, 0.001), 0.97), 8), 8, loop_start=start,
                  loop_length=count - start, loop=LOOP_PING_PONG, panning=100,
                  relative_note=relative_note_for(note_number("C-4")))


# Pitched voices -------------------------------------------------------------

def tone_with_loop(name, home, tables, attack_seconds, settle, drive, bits, fade=0.002, **fields):
    """Reads `tables` from the first to the last over `attack_seconds`, then
    loops the last over a whole number of cycles from the phase the attack
    stopped at: the attack starts at zero and neither the join nor the
    loop makes a step."""
    loop_length, cycles = loop_fit(note_frequency(home), frames(0.04), frames(0.08))
    frequency = cycles * RATE / loop_length
    count = frames(attack_seconds)
    attack, phase = sweep_tables(tables, frequency, count, settling(count, settle, len(tables) - 1))
    loop, _ = sweep_tables(tables[-1:], frequency, loop_length, None, phase)
    values = saturate(fade_in(attack, fade) + loop, drive) if drive else fade_in(attack, fade) + loop
    return Sample(name + " " + str(home), quantise(normalise(values, 0.95), bits), bits,
                  loop_start=count, loop_length=loop_length, loop=LOOP_FORWARD,
                  relative_note=relative_note_for(home), **fields)


def struck(home, tables, seconds, settle, decay, drive, release):
    """A one-shot tone: bright to dark over `settle`, decaying with `decay`,
    closing to zero over its last `release`."""
    count = frames(seconds)
    values, _ = sweep_tables(tables, note_frequency(home), count, settling(count, settle, len(tables) - 1))
    values = [v * math.exp(-i / (decay * RATE)) for i, v in enumerate(values)]
    return fade_tail(saturate(fade_in(values, 0.0015), drive), release)


def filtered_saws(home, span, cutoffs, sub=0.0, ceiling=12000.0, most=80):
    """One table per cut-off: a saw through a gentle low-pass, a sine under it."""
    frequency = note_frequency(home)
    limit = min(harmonic_limit(home, span, ceiling), most)
    tables = []
    for cutoff in cutoffs:
        amplitudes = [1.0 / k / (1.0 + (k * frequency / cutoff) ** 2) for k in range(1, limit + 1)]
        amplitudes[0] += sub
        tables.append(band_limited_table(amplitudes))
    return tables


BASS_CUTOFFS = (2600.0, 1500.0, 950.0, 650.0, 500.0)
BASS_SUB = 0.3  # a little sine under the saw: weight that a PA without subwoofers still plays
BASS_GATES = (0.085, 0.18, 0.27)  # seconds at home: for notes 4, 8 and 12 ticks apart


def bass_plucks(home, span):
    """The bass for notes that another follows soon: one sample per gate
    length, each the same struck tone closing to zero before the next note
    can start."""
    tables = filtered_saws(home, span, BASS_CUTOFFS, sub=BASS_SUB)
    longest = struck(home, tables, BASS_GATES[-1], 0.05, 0.6, 1.5, 0.0)
    top = max(abs(v) for v in longest)
    return [Sample("bass %d %d" % (round(seconds * 1000), home),
                   quantise([v * 0.95 / top for v in gate(longest, seconds, 0.02)], 16), 16,
                   relative_note=relative_note_for(home)) for seconds in BASS_GATES]


def bass_held(home, span):
    """The held bass: the same struck tone, looping once it is dark."""
    return tone_with_loop("bass held", home, filtered_saws(home, span, BASS_CUTOFFS, sub=BASS_SUB), 0.12, 0.05,
                          1.5, 16, fade=0.0015)


def pad_zone(home, span):
    """Three detuned saws, dark-topped, read forward and back (ping-pong),
    rising from zero."""
    limit = harmonic_limit(home, span, 7000.0)
    table = band_limited_table([1.0 / k / (1.0 + (k / 8.0) ** 2) for k in range(1, limit + 1)])
    count = frames(1.6)
    frequency = note_frequency(home)
    out = [0.0] * count
    for detune, phase in ((-0.0045, 0.0), (0.0, 0.37), (0.0052, 0.71)):
        voice, _ = sweep_tables([table], frequency * (1.0 + detune), count, None, phase)
        for i in range(count):
            out[i] += voice[i]
    out = fade_in(saturate(out, 1.4), 0.005)
    start = frames(0.25)
    return Sample("pad " + str(home), quantise(normalise(out, 0.95), 16), 16,
                  loop_start=start, loop_length=count - start, loop=LOOP_PING_PONG,
                  relative_note=relative_note_for(home))


def lead_tables(home, span):
    """The lead's voice: a reed with a formant at 2.9 kHz (its presence) and
    the top rolled off above 6 kHz; it speaks with a brighter chiff that
    settles in about 50 ms."""
    frequency = note_frequency(home)
    limit = harmonic_limit(home, span, 15000.0)
    tables = []
    for brightness in (1.6, 1.0):
        amplitudes = []
        for k in range(1, limit + 1):
            f = k * frequency
            formant = 1.0 + 2.2 * brightness * math.exp(-((f - 2900.0) / 1000.0) ** 2)
            odd = 1.0 if k % 2 else 0.55
            amplitudes.append(odd * formant / k ** 0.9 / (1.0 + (f / (6000.0 * brightness)) ** 4))
        tables.append(saturated_table(amplitudes, 1.3))
    return tables


def lead_zone(home, span, panning):
    return tone_with_loop("lead", home, lead_tables(home, span), 0.06, 0.015, 0.0, 16, panning=panning)


def lead_octave_zone(home, span, panning):
    """The lead's octave voice: round, a flute over the reed."""
    limit = min(5, harmonic_limit(home, span, 12000.0))
    steady = [(1.0, 0.22, 0.1, 0.05, 0.03)[k - 1] for k in range(1, limit + 1)]
    bright = [a * (1.0 + 0.6 * (k - 1)) for k, a in enumerate(steady, 1)]
    return tone_with_loop("lead 2", home, [band_limited_table(bright), band_limited_table(steady)], 0.05, 0.012,
                          0.0, 16, panning=panning)


def pluck_zone(home, span):
    """A short pluck, square-ish and bright, gone in 85 ms at home."""
    frequency = note_frequency(home)
    limit = harmonic_limit(home, span, 14000.0)
    tables = [band_limited_table([(1.0 if k % 2 else 0.3) / k / (1.0 + (k * frequency / cutoff) ** 2)
                                  for k in range(1, limit + 1)]) for cutoff in (5000.0, 2000.0)]
    values = struck(home, tables, 0.085, 0.02, 0.035, 1.2, 0.025)
    return Sample("pluck " + str(home), quantise(normalise(values, 0.95), 8), 8, panning=24,
                  relative_note=relative_note_for(home))


BELL_PARTIALS = ((1.0, 1.0, 0.16), (2.0, 0.45, 0.09), (3.0, 0.25, 0.05), (4.17, 0.3, 0.03),
                 (5.43, 0.15, 0.018))  # ratio, level, decay in seconds


def bell_zone(home, span):
    """A glass bell: a few partials, the upper ones inharmonic and short,
    gone in 280 ms at home."""
    frequency = note_frequency(home)
    count = frames(0.28)
    values = []
    for i in range(count):
        t = i / RATE
        values.append(sum(level * math.sin(TWO_PI * ratio * frequency * t) * math.exp(-t / decay)
                          for ratio, level, decay in BELL_PARTIALS
                          if ratio * frequency * 2.0 ** (span / 12.0) < 16000.0))
    values = fade_tail(fade_in(values, 0.001), 0.08)
    return Sample("bell " + str(home), quantise(normalise(values, 0.95), 16), 16, panning=176,
                  relative_note=relative_note_for(home))


def chip_zone(home, span):
    """A held square for the chip arpeggio, rising from zero."""
    frequency = note_frequency(home)
    limit = harmonic_limit(home, span, 12000.0)
    table = band_limited_table([(1.0 if k % 2 else 0.2) / k / (1.0 + (k * frequency / 4000.0) ** 2)
                                for k in range(1, limit + 1)])
    return tone_with_loop("chip", home, [table], 0.004, 0.002, 0.0, 8, fade=0.004, panning=24)


def sweep_tone():
    """The tonal riser: a saw of eight partials at C-4, slid up to four
    octaves."""
    table = band_limited_table([1.0, 0.6, 0.4, 0.3, 0.2, 0.15, 0.1, 0.08])
    return tone_with_loop("sweep", note_number("C-4"), [table], 0.005, 0.002, 0.0, 8, fade=0.005, panning=156)
