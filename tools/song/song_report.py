#!/usr/bin/env python3
"""Measures the show's song from renders by render_module, the whole mix and
each channel alone, so that a change to the composition can be judged by
numbers: loudness per section, part and channel; the fills into the scene
changes and the arrivals after them; the climax against the wave; notes
outside the key and semitone rubs; the level where the show ends; stereo
width; clicks (steps where notes start, where gains change and where
samples end); the riser's sweep; the energy in the presence and the top
bands; what a hall's mono PA makes of the lead pair, the pads and the
kick; and the figures the music's third pass is held to (with --targets,
only those).

    python3 tools/song/song_report.py RENDER_MODULE [MODULE] [--targets] [--spectrograms DIR]

Needs numpy and sox (sh tools/install_packages.sh music); RENDER_MODULE is
the built renderer (build/tools/render_module), MODULE defaults to
assets/song.xm.  Loudness is K-weighted and ungated (LU, as LUFS without
the gate) but where it says gated; levels are RMS over both sides in
dBFS.  Parts are named by
their instruments' first words (lead, pad, bass, ...).  With
--spectrograms, sox draws one PNG per section, fill and arrival, and of
the bass and the lead alone around their note changes."""

import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import xm_file  # noqa: E402
from song_measure import (RATE, Song, amplitude_db, band_power, band_share, db, integrated_loudness,  # noqa: E402
                          k_weighted, loudness_of, part_loudness, render, small_speaker, tick_frames, true_peak)
SECTIONS = [("intro", 0, 1), ("theme", 2, 5), ("breakdown", 6, 7), ("wave", 8, 11),
            ("greetings", 12, 15), ("climax", 16, 19), ("outro", 20, 21)]
BUSY = ("theme", "wave", "greetings", "climax")
FILLS = (1, 5, 7, 11, 15, 19)  # rows 40-63 lead into the next scene
FILL_ROW = 40
ARRIVALS = (2, 8, 16)  # the scene changes that land on the full band
ALL_ARRIVALS = (2, 6, 8, 12, 16, 20)  # every scene change after a build
WAVE, CLIMAX = (8, 11), (16, 19)
SHOW_END = (21, 62)
BEAT_ROWS = 8  # a quarter note: bars of 32 rows
A_MINOR = {9, 11, 0, 2, 4, 5, 7}  # pitch classes; G# (8) only over E
UNPITCHED = ("kick", "snare", "hat", "crash", "riser", "tom")  # parts whose samples have no key
NOTE_NAMES = ("C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-")
STEP_LIMIT = 10 ** (-45 / 20)  # a step at a note start above -45 dBFS is a click
TAIL = 96  # 2 ms: the old note's last moment before a new one
HELD_ROWS = 12  # a lead note this long is a held note


def note_name(note):
    return NOTE_NAMES[(note - 1) % 12] + str((note - 1) // 12)


# The module: pattern cells and whether each instrument is pitched ------------

def read_module(path):
    """The module's cells, and for each instrument its name, whether it is
    pitched and its samples' (peak, last value, loop type)."""
    module = xm_file.read_module(open(path, "rb").read())
    instruments = []
    for instrument in module.instruments:
        ends, pitched = [], False
        for _, sample in instrument.zones:
            values = np.array(sample.values, np.int64)
            pitched |= part_name(instrument.name) not in UNPITCHED and periodic(values)
            peak = float(np.max(np.abs(values))) if len(values) else 0.0
            ends.append((peak, float(values[-1]) if len(values) else 0.0, sample.loop))
        instruments.append((instrument.name, pitched, ends))
    return module.orders, module.patterns, module.channels, instruments


def periodic(values):
    """A pitched sample repeats itself: its autocorrelation peaks high at
    some lag (noise does not)."""
    x = values[len(values) // 4:][:8192].astype(np.float64)
    if len(x) < 2048 or not np.any(x):
        return False
    x -= x.mean()
    spectrum = np.fft.rfft(x, 2 * len(x))
    correlation = np.fft.irfft(spectrum * np.conj(spectrum))[:len(x) // 2]
    return bool(np.max(correlation[20:]) > 0.6 * correlation[0])


def part_name(instrument_name):
    return "".join(ch for ch in instrument_name.split(" ")[0] if ch.isalpha()) or "-"


def channel_parts(orders, patterns, channels, instruments):
    """For every position, the parts each channel plays there: those of its
    notes' instruments, or the last one it had when it names none."""
    last = [None] * channels
    out = []
    for pattern_index in orders:
        used = [set() for _ in range(channels)]
        for cells in patterns[pattern_index]:
            for c, cell in enumerate(cells):
                if cell[1] and cell[1] <= len(instruments):
                    last[c] = part_name(instruments[cell[1] - 1][0])
                if 1 <= cell[0] <= 96 and last[c]:
                    used[c].add(last[c])
        out.append([frozenset(u) for u in used])
    return out


def channels_of(parts, part, first, last, only=True):
    """Channels that play `part` in positions first..last (and nothing else
    there when `only`)."""
    chosen = []
    for c in range(len(parts[0])):
        played = set().union(*(parts[p][c] for p in range(first, last + 1)))
        if part in played and (not only or played == {part}):
            chosen.append(c)
    return chosen


# Note starts ------------------------------------------------------------------

def note_starts(mix, patterns, orders, channels):
    """(channel, frame, position, row) of every note that starts a sample:
    a note without tone portamento (on its delay tick with EDx), and the
    retriggers of E9x and Rxy."""
    ticks = tick_frames(mix)
    starts, counters = [], [0] * channels
    for position, pattern_index in enumerate(orders):
        for row, cells in enumerate(patterns[pattern_index]):
            frames = ticks.get((position, row))
            if not frames:
                continue
            for c, (note, instrument, volume, effect, param) in enumerate(cells):
                def start(t):
                    if t < len(frames):
                        starts.append((c, frames[t], position, row))
                porta = effect in (3, 5) or volume >> 4 == 0xF
                if instrument and 1 <= note <= 96:
                    counters[c] = 0
                if 1 <= note <= 96 and not porta:
                    start(param & 15 if effect == 0xE and param >> 4 == 0xD else 0)
                if effect == 0xE and param >> 4 == 9 and param & 15:
                    for t in range(1, len(frames)):
                        if t % (param & 15) == 0:
                            start(t)
                if effect == 27:
                    for t in range(len(frames)):
                        if t == 0 and volume:
                            continue
                        counters[c] += 1
                        if counters[c] >= max(1, param & 15):
                            counters[c] = 0
                            start(t)
    return sorted(set(starts), key=lambda s: (s[0], s[1]))


def first_difference_rms(x, start, end):
    d = x[start + 1:end] - x[start:end - 1]
    return np.sqrt(np.mean(d ** 2)) if len(d) else 0.0


def note_start_steps(mix, solos, names, starts):
    """At each note start: the step (the jump between the last frame of what
    sounded and the first of the new note), and whether the old note was
    still within 20 dB of its body in its last 2 ms (a cut, not a release)."""
    print("\nSteps at note starts, per channel: the jump from the frame before a note")
    print("starts (dBFS; above -45 is a click); notes that cut the one before (its last")
    print("2 ms less than 20 dB under its body); unmasked: a click larger than four")
    print("times the frame-to-frame movement of the rest of the mix and of the")
    print("channel's own sound just before:")
    by_channel = {}
    for c, frame, position, row in starts:
        by_channel.setdefault(c, []).append((frame, position, row))
    worst_overall = []
    for c, (name, solo) in enumerate(zip(names, solos)):
        x = solo.frames
        notes = [n for n in by_channel.get(c, []) if 300 < n[0] < len(x) - 300]
        steps, cuts, clicks, unmasked, worst, where = [], 0, 0, 0, (0.0, None), []
        previous = None
        for frame, position, row in notes:
            step = float(np.abs(x[frame] - x[frame - 1]).max())
            steps.append(step)
            if previous is not None and frame - previous > 2 * TAIL:
                body = db(np.mean(x[previous:frame - TAIL] ** 2))
                tail = db(np.mean(x[frame - TAIL:frame] ** 2))
                if body > -90 and tail > body - 20:
                    cuts += 1
                    where.append("%d:%02d" % (position, row))
            previous = frame
            if step > STEP_LIMIT:
                clicks += 1
                rest = mix.frames[frame - 240:frame + 240] - x[frame - 240:frame + 240]
                own = first_difference_rms(x, frame - 240, frame - 2)
                if step > 4 * max(first_difference_rms(rest, 0, len(rest)), own):
                    unmasked += 1
                    worst_overall.append((step, c, position, row))
            if step > worst[0]:
                worst = (step, (position, row))
        if not notes:
            print("  %-6s    no notes" % name)
            continue
        where_worst = " at %d:%02d" % worst[1] if worst[1] else ""
        print("  %-6s %4d notes  cut %4d  steps over -45 dBFS %4d  unmasked %4d  median %6.1f  worst %6.1f%s" % (
            name, len(notes), cuts, clicks, unmasked, amplitude_db(float(np.median(steps))),
            amplitude_db(worst[0]), where_worst))
        if where:
            print("         cuts at " + " ".join(where[:10]) + (" ..." if len(where) > 10 else ""))
    if worst_overall:
        worst_overall.sort(reverse=True)
        print("  loudest unmasked: " + ", ".join("ch%d %d:%02d %.1f" % (c + 1, p, r, amplitude_db(s))
                                                for s, c, p, r in worst_overall[:8]))


def tick_steps(mix, solos, names, starts):
    """At the other ticks (where gains change: envelopes, slides, cuts), a
    jump much larger than the channel's own waveform moved just before."""
    print("\nSteps at the other ticks (gain changes), per channel: count over 0.01, median,")
    print("worst; unmasked: larger than four times the rest of the mix's RMS around it:")
    note_frames = {}
    for c, frame, _, _ in starts:
        note_frames.setdefault(c, set()).update(range(frame - 3, frame + 4))
    ticks = sorted(f for frames in tick_frames(mix).values() for f in frames)
    ticks = np.array([t for t in ticks if 300 < t < len(mix.frames) - 300])
    for c, (name, solo) in enumerate(zip(names, solos)):
        x = solo.frames
        second = np.abs(x[2:] - 2 * x[1:-1] + x[:-2]).max(axis=1)  # index i: frame i + 2 - 1
        sizes, where, unmasked = [], [], 0
        skip = note_frames.get(c, set())
        for t in ticks:
            if t in skip:
                continue
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


# Loudness, fills, arrivals, climax ----------------------------------------------

def section_table(mix, solos, names, parts):
    print("Loudness per section (LU, K-weighted, ungated); channels alone:")
    print("  %-10s %6s  " % ("section", "mix") + " ".join("%6s" % n[:6] for n in names))
    for name, first, last in SECTIONS:
        start, end = mix.span(first, last)
        cells = []
        for solo in solos:
            value = solo.loudness(start, end)
            cells.append("%6.1f" % value if value > -70 else "     -")
        print("  %-10s %6.1f  " % (name, mix.loudness(start, end)) + " ".join(cells))
    print("  by part (channels playing it in the section):")
    every = sorted(set().union(*(s for position in parts for s in position)))
    print("    %-10s " % "" + " ".join("%8s" % n for n in every))
    for name, first, last in SECTIONS:
        start, end = mix.span(first, last)
        cells = []
        for part in every:
            value = part_loudness(solos, channels_of(parts, part, first, last, only=False), start, end)
            cells.append("%8.1f" % value if value > -70 else "       -")
        print("    %-10s " % name + " ".join(cells))
    print("  by position: " + " ".join("%.1f" % mix.loudness(*mix.span(p, p)) for p in range(SECTIONS[-1][2] + 1)))
    print("  position 0 by eight rows: " + " ".join(
        "%.1f" % mix.level(*mix.rows_span(0, r, r + 8)) for r in range(0, 64, 8)) + " dBFS")


def lead_balance(mix, solos, parts):
    """The lead part against the pads and against everything else, by section."""
    print("\nThe lead against the pads and against the rest of the mix (LU), by section:")
    for name, first, last in SECTIONS:
        start, end = mix.span(first, last)
        lead = channels_of(parts, "lead", first, last)
        pads = channels_of(parts, "pad", first, last)
        if not lead:
            continue
        lead_k = sum(solos[c].k[start:end] for c in lead)
        lu = loudness_of(lead_k)
        rest = loudness_of(mix.k[start:end] - lead_k)
        pad = part_loudness(solos, pads, start, end)
        print("  %-10s lead %6.1f  pads %6.1f  rest %6.1f   lead over pads %+5.1f  lead against rest %+5.1f" % (
            name, lu, pad, rest, lu - pad, lu - rest))
    wave = mix.loudness(*mix.span(*WAVE))
    climax = mix.loudness(*mix.span(*CLIMAX))
    print("  climax %.1f LU against the wave's %.1f: %+.1f LU" % (climax, wave, climax - wave))


def climax_repeats(patterns, orders, parts):
    """How many of the climax's backing note cells (all but the lead) are
    the wave's, cell for cell, at the same row and channel."""
    lead = set(channels_of(parts, "lead", *CLIMAX))
    total = same = 0
    by_channel = {}
    for offset in range(CLIMAX[1] - CLIMAX[0] + 1):
        climax = patterns[orders[CLIMAX[0] + offset]]
        wave = patterns[orders[WAVE[0] + offset]]
        for row in range(len(climax)):
            for c, cell in enumerate(climax[row]):
                if c in lead or not 1 <= cell[0] <= 96:
                    continue
                total += 1
                repeated = wave[row][c][0] == cell[0] and wave[row][c][1] == cell[1]
                same += repeated
                counts = by_channel.setdefault(c, [0, 0])
                counts[0] += repeated
                counts[1] += 1
    print("\nThe climax's backing (all but the lead), note cells that repeat the wave's:")
    print("  %d of %d (%.0f %%); by channel: %s" % (
        same, total, 100.0 * same / max(1, total),
        ", ".join("ch%d %d/%d" % (c + 1, s, n) for c, (s, n) in sorted(by_channel.items()))))


def fills(mix, solos, names):
    print("\nFills (rows 40-63) against rows 0-39 of the same position, RMS dBFS;")
    print("groups of four rows from row 40, and each part's level in the fill:")
    for position in FILLS:
        start, cut, end = mix.frame(position, 0), mix.frame(position, FILL_ROW), mix.frame(position + 1, 0)
        groups = [mix.level(*mix.rows_span(position, r, r + 4)) for r in range(FILL_ROW, 64, 4)]
        print("  position %2d: before %6.1f  fill %6.1f  (%+.1f)  by fours: %s" % (
            position, mix.level(start, cut), mix.level(cut, end),
            mix.level(cut, end) - mix.level(start, cut), " ".join("%.1f" % g for g in groups)))
        levels = []
        for name, solo in zip(names, solos):
            level = solo.level(cut, end)
            if level > -60:
                levels.append("%s %.1f" % (name, level))
        print("               parts: " + ", ".join(levels))


def arrivals(mix):
    print("\nArrivals: the first 8 rows of a scene against the last 8 rows before it (LU),")
    print("and the weight of the downbeat (rows 0-1) against those and against the rest of its beat:")
    for position in ARRIVALS:
        before = mix.loudness(*mix.rows_span(position - 1, 56, 64))
        after = mix.loudness(*mix.rows_span(position, 0, 8))
        downbeat = mix.loudness(*mix.rows_span(position, 0, 2))
        rest = mix.loudness(*mix.rows_span(position, 2, 8))
        print("  position %2d: before %6.1f  after %6.1f  (%+.1f)   downbeat %6.1f"
              "  (%+.1f over the build, %+.1f over rows 2-7)" % (
                  position, before, after, after - before, downbeat, downbeat - before, downbeat - rest))


def riser_sweeps(mix, solos, parts, patterns, orders, instruments):
    """The riser alone in each fill, from its note on: the frequency below
    which half its power lies, by two rows where it sounds, and the range
    it sweeps."""
    print("\nThe riser in each fill: median frequency by two rows (Hz) where it sounds")
    print("(within 30 dB of its loudest moment), and the octaves it sweeps:")
    for position in FILLS:
        channels = channels_of(parts, "riser", position, position, only=False)
        first = [row for row, cells in enumerate(patterns[orders[position]]) for c in channels
                 if cells[c][1] and part_name(instruments[cells[c][1] - 1][0]) == "riser"]
        if not channels or not first:
            print("  position %2d: no riser" % position)
            continue
        x = sum(solos[c].frames for c in channels)
        groups = []
        for r in range(min(first), 64, 2):
            start, end = mix.rows_span(position, r, r + 2)
            seg = x[start:end]
            power = np.abs(np.fft.rfft(seg[:, 0])) ** 2 + np.abs(np.fft.rfft(seg[:, 1])) ** 2
            cumulative = np.cumsum(power)
            level = db(np.mean(seg ** 2))
            if cumulative[-1] <= 0:
                continue
            median = np.searchsorted(cumulative, cumulative[-1] / 2) * RATE / len(seg)
            groups.append((r, level, median))
        if not groups:
            print("  position %2d: silent" % position)
            continue
        top = max(level for _, level, _ in groups)
        sounding = [(r, level, f) for r, level, f in groups if level > top - 30]
        low = min(f for _, _, f in sounding)
        high = max(f for _, _, f in sounding)
        print("  position %2d: rows %d-63, %.0f Hz to %.0f Hz (%s): %.1f octaves, loudest %.1f dBFS" % (
            position, min(first), sounding[0][2], sounding[-1][2],
            " ".join("%.0f" % f for _, _, f in sounding[::2]), np.log2(high / low), top))


def bands(mix, solos, names, parts):
    """Energy in the presence band and in the top, against the whole, per
    section; and which parts make the top."""
    print("\nBands against the total energy (dB): presence 2-4 kHz, top 8-24 kHz, above 12 kHz;")
    print("and the parts' shares of the top:")
    spans = [(name, *mix.span(first, last), first, last) for name, first, last in SECTIONS]
    spans.append(("whole", 0, len(mix.frames), 0, SECTIONS[-1][2]))
    for name, start, end, first, last in spans:
        def band_powers(x):
            spectrum = np.abs(np.fft.rfft(x[start:end, 0])) ** 2 + np.abs(np.fft.rfft(x[start:end, 1])) ** 2
            f = np.arange(len(spectrum)) * RATE / (end - start)
            return (spectrum.sum(), spectrum[(f >= 2000) & (f < 4000)].sum(),
                    spectrum[f >= 8000].sum(), spectrum[f >= 12000].sum())
        total, presence, top, air = band_powers(mix.frames)
        shares = {}
        for c, solo in enumerate(solos):
            played = set().union(*(parts[p][c] for p in range(first, last + 1))) or {names[c]}
            shares["/".join(sorted(played))] = shares.get("/".join(sorted(played)), 0.0) + band_powers(solo.frames)[2]
        whole = sum(shares.values()) or 1.0
        print("  %-10s presence %6.1f  top %6.1f  above 12 kHz %6.1f   top: %s" % (
            name, db(presence / total), db(top / total), db(air / total),
            ", ".join("%s %.0f %%" % (p, 100 * v / whole) for p, v in
                      sorted(shares.items(), key=lambda kv: -kv[1])[:4])))


# A hall's PA --------------------------------------------------------------------

def lead_mono(mix, solos, patterns, orders, parts):
    """Held lead notes (12 rows or more) in mono: the swing of the level in
    20 ms windows around its own trend, from the third tick to just before
    the note ends."""
    print("\nThe lead pair in mono on held notes (%d rows or more): the level's swing (dB)" % HELD_ROWS)
    print("around its trend, in 20 ms windows, and where it is widest:")
    swings = []
    for position, pattern_index in enumerate(orders):
        lead = channels_of(parts, "lead", position, position)
        if not lead:
            continue
        first = lead[0]
        events = [row for row, cells in enumerate(patterns[pattern_index]) if cells[first][0]]
        for i, row in enumerate(events):
            end_row = events[i + 1] if i + 1 < len(events) else 64
            cell = patterns[pattern_index][row][first]
            if end_row - row < HELD_ROWS or not 1 <= cell[0] <= 96:
                continue
            start, end = mix.rows_span(position, row, end_row)
            start += 3 * 1154
            end -= 2 * 1154
            mono = sum(solos[c].frames[start:end] for c in lead).sum(axis=1)
            windows = mono[:len(mono) // 960 * 960].reshape(-1, 960)
            level = 10 * np.log10(np.maximum(np.mean(windows ** 2, axis=1), 1e-20))
            if len(level) < 8 or level.max() < -70:
                continue
            t = np.arange(len(level))
            residual = level - np.polyval(np.polyfit(t, level, 1), t)
            swings.append((float(residual.max() - residual.min()), position, row))
    if not swings:
        print("  no held notes")
        return
    values = [s for s, _, _ in swings]
    worst = max(swings)
    print("  %d held notes: median %.1f dB, worst %.1f dB at %d:%02d" % (
        len(swings), float(np.median(values)), worst[0], worst[1], worst[2]))


def pad_balance(mix, solos, parts):
    """Each pad channel's left against its right over the song, and over its
    most one-sided second."""
    print("\nThe pads' balance, left over right (dB): over the song, and the most one-sided second:")
    for c in channels_of(parts, "pad", 0, len(parts) - 1):
        x = solos[c].frames
        loud = np.sum(x ** 2, axis=1) > 1e-8
        overall = db(np.mean(x[loud, 0] ** 2)) - db(np.mean(x[loud, 1] ** 2))
        extreme = 0.0
        for start in range(0, len(x) - RATE, RATE // 2):
            seg = x[start:start + RATE]
            if np.mean(seg ** 2) > 1e-7:
                balance = db(np.mean(seg[:, 0] ** 2)) - db(np.mean(seg[:, 1] ** 2))
                extreme = balance if abs(balance) > abs(extreme) else extreme
        print("  ch%d: %+.1f, at most %+.1f" % (c + 1, overall, extreme))


def kick_low(solos, parts):
    for c in channels_of(parts, "kick", 0, len(parts) - 1, only=False):
        x = solos[c].frames
        spectrum = np.abs(np.fft.rfft(x[:, 0])) ** 2 + np.abs(np.fft.rfft(x[:, 1])) ** 2
        f = np.arange(len(spectrum)) * RATE / len(x)
        print("\nThe kick's channel (ch%d): %.0f %% of its energy below 60 Hz, %.0f %% below 100 Hz" % (
            c + 1, 100 * spectrum[f < 60].sum() / spectrum.sum(), 100 * spectrum[f < 100].sum() / spectrum.sum()))


# Harmony, ending, stereo, samples ----------------------------------------------

def sounding_notes(mix, solos, patterns, orders, instruments):
    """For every row, the note each pitched channel sounds (its last note, or
    the target of a slide) while its render is audible."""
    state = [None] * len(solos)
    instrument_of = [0] * len(solos)
    out = {}
    for position, pattern_index in enumerate(orders):
        for row, cells in enumerate(patterns[pattern_index]):
            start, end = mix.rows_span(position, row, row + 1)
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
        print("  row %d: %.1f dBFS RMS" % (r, mix.level(*mix.rows_span(position, r, r + 1))))
    print("  peak over row %d: %.1f dBFS" % (row, amplitude_db(float(np.max(np.abs(
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
                print("  %-10s %5.1f %%" % (name, 100 * abs(last) / peak))


# The third pass's targets ---------------------------------------------------------

THEMES = (("theme", 2, 4), ("wave", 8, 10))  # the themes without their turns
DRUMS = ("kick", "tom", "snare", "hat", "crash")
HALF_TIME = (12, 14)
HIT_SECONDS = 0.08  # a kick hit: its first 80 ms
BACKING_EXCLUDED = ("lead", "riser", "crash", "room")  # the room is the snare's, not a part of its own


def bar_loudness(mix, position, half):
    return mix.loudness(*mix.rows_span(position, half, half + 32))


def note_rows(patterns, orders, instruments, position, channels, wanted):
    """(row, channel, note, part) of the notes in `channels` at `position`
    whose instruments are among the parts `wanted` (all when None)."""
    out = []
    for row, cells in enumerate(patterns[orders[position]]):
        for c in channels:
            note, instrument = cells[c][0], cells[c][1]
            if 1 <= note <= 96 and instrument:
                part = part_name(instruments[instrument - 1][0])
                if wanted is None or part in wanted:
                    out.append((row, c, note, part))
    return out


def backing_bars(patterns, orders, instruments, channels, position, half):
    """Each backing channel's notes in one bar: {channel: ((row, note, part), ...)}."""
    bars = {}
    for row, c, note, part in note_rows(patterns, orders, instruments, position, channels, None):
        if half <= row < half + 32 and part not in BACKING_EXCLUDED:
            bars.setdefault(c, []).append((row - half, note, part))
    return {c: tuple(v) for c, v in bars.items()}


def targets(mix, solos, parts, patterns, orders, instruments):
    """The figures the third pass is judged by, one line each."""
    print("\nTargets (the third pass):")
    channels = range(len(solos))
    kick_channels = channels_of(parts, "kick", 0, len(orders) - 1, only=False)
    theme = mix.loudness(*mix.span(2, 5))
    wave = mix.loudness(*mix.span(*WAVE))
    climax = mix.loudness(*mix.span(*CLIMAX))
    kick_bars = sum(any(half <= row < half + 32 for row, *_ in
                        note_rows(patterns, orders, instruments, p, kick_channels, ("kick",)))
                    for p in range(CLIMAX[0], CLIMAX[1]) for half in (0, 32))
    bars = [bar_loudness(mix, p, half) for p in range(CLIMAX[0], CLIMAX[1] + 1) for half in (0, 32)][:-1]
    lead = channels_of(parts, "lead", *CLIMAX)
    start, end = mix.span(*CLIMAX)
    lead_over_pads = loudness_of(sum(solos[c].k[start:end] for c in lead)) - part_loudness(
        solos, channels_of(parts, "pad", *CLIMAX), start, end)
    print("  1. bars of positions 16-18 with a kick: %d of 6; the climax over the theme %+.1f LU, over the"
          " wave %+.1f LU;" % (kick_bars, climax - theme, climax - wave))
    print("     its bars up to the fill (LU): %s: last against first %+.1f; the lead over the pads %+.1f LU" % (
        " ".join("%.1f" % b for b in bars), bars[-1] - bars[0], lead_over_pads))

    spans = [mix.span(first, last) for _, first, last in THEMES]
    kick = np.concatenate([sum(solos[c].frames[a:b] for c in kick_channels) for a, b in spans])
    kick_k = k_weighted(kick)
    through = k_weighted(small_speaker(kick))
    lead_all = channels_of(parts, "lead", 0, len(orders) - 1)
    lead_through = k_weighted(small_speaker(np.concatenate([sum(solos[c].frames[a:b] for c in lead_all)
                                                            for a, b in spans])))
    print("  2. the kick in the themes: 20-60 Hz against 60-120 Hz %+.1f dB; 2-5 kHz against the whole %.1f dB;"
          % (db(band_power(kick, 20, 60) / band_power(kick, 60, 120)), band_share(kick, 2000, 5000)))
    print("     through a 150 Hz-8 kHz speaker it loses %.1f LU and lies %.1f LU under the lead" % (
        loudness_of(kick_k) - loudness_of(through), loudness_of(lead_through) - loudness_of(through)))
    for name, first, last in THEMES:
        a, b = mix.span(first, last)
        drums = sorted(set().union(*(channels_of(parts, d, first, last, only=False) for d in DRUMS)))
        print("     %s: the drum group %.1f LU under the mix (%.1f against %.1f); the kick %.1f LU under the bass" % (
            name, mix.loudness(a, b) - part_loudness(solos, drums, a, b), part_loudness(solos, drums, a, b),
            mix.loudness(a, b), part_loudness(solos, channels_of(parts, "bass", first, last, only=False), a, b)
            - part_loudness(solos, kick_channels, a, b)))
    print("     the whole song's 20-60 Hz band: %.1f dB of the total" % band_share(mix.frames, 20, 60))

    leads = []
    for p in range(HALF_TIME[0], HALF_TIME[1] + 1):
        for row, c, *_ in note_rows(patterns, orders, instruments, p, kick_channels, ("kick",)):
            a = mix.frame(p, row)
            b = a + int(HIT_SECONDS * RATE)
            kick_part = solos[c].frames[a:b]
            leads.append(db(band_power(kick_part, 40, 100) / band_power(mix.frames[a:b] - kick_part, 40, 100)))
    print("  3. the half-time kick over the rest of the mix in 40-100 Hz, its first %d ms: %d hits, worst %+.1f dB,"
          " median %+.1f dB" % (HIT_SECONDS * 1000, len(leads), min(leads), float(np.median(leads))))

    backing = [c for c in channels if c not in lead]
    theme_bars = [backing_bars(patterns, orders, instruments, backing, p, half) for p in range(2, 6) for half in (0, 32)]
    total = repeated = 0
    for p in range(WAVE[0], WAVE[1]):
        for half in (0, 32):
            for c, notes in backing_bars(patterns, orders, instruments, backing, p, half).items():
                total += 1
                repeated += any(bar.get(c) == notes for bar in theme_bars)
    print("  4. the wave's backing bars (positions 8-10, each channel's) that repeat one of the theme's:"
          " %d of %d (%.0f %%)" % (repeated, total, 100.0 * repeated / max(1, total)))

    hats = channels_of(parts, "hat", 0, len(orders) - 1, only=False)
    hat = sum(solos[c].frames for c in hats)
    loud = np.sum(hat ** 2, axis=1) > 1e-8
    print("  5. the hats: left over right %+.1f dB, %.1f LU over the themes; 8-24 kHz %.1f dB of the total" % (
        db(np.mean(hat[loud, 0] ** 2)) - db(np.mean(hat[loud, 1] ** 2)),
        np.mean([part_loudness(solos, hats, *mix.span(first, last)) for _, first, last in THEMES]),
        band_share(mix.frames, 8000, 24000)))

    lifts = ["%d %+.1f" % (p, mix.loudness(*mix.rows_span(p, 0, 8)) - mix.loudness(*mix.rows_span(p - 1, 56, 64)))
             for p in ALL_ARRIVALS]
    print("  6. each arrival's first beat over the build's last (LU): " + ", ".join(lifts))

    correlations = []
    for name, first, last in SECTIONS:
        if name in BUSY:
            a, b = mix.span(first, last)
            left, right = mix.frames[a:b, 0], mix.frames[a:b, 1]
            correlations.append("%s %.3f" % (name, np.sum(left * right) / np.sqrt(np.sum(left ** 2) * np.sum(right ** 2))))
    print("  7. stereo correlation of the busy sections: " + ", ".join(correlations))
    # Room: what still sounds of a backbeat 150-450 ms after it, against its
    # first 100 ms, and how alike the two sides of that tail are.
    snare_group = sorted(set(channels_of(parts, "snare", 0, len(orders) - 1, only=False))
                         | set(channels_of(parts, "room", 0, len(orders) - 1, only=False)))
    snare = sum(solos[c].frames for c in snare_group)
    tails, sides = [], []
    for p in range(len(orders)):
        for row, *_ in note_rows(patterns, orders, instruments, p, snare_group, ("snare",)):
            if row % 16 == 8:
                a = mix.frame(p, row)
                hit, tail = snare[a:a + RATE // 10], snare[a + RATE * 15 // 100:a + RATE * 45 // 100]
                tails.append(db(np.mean(tail ** 2) / np.mean(hit ** 2)))
                sides.append(np.sum(tail[:, 0] * tail[:, 1]) / np.sqrt(np.sum(tail ** 2, axis=0).prod()))
    print("     the backbeats' tails (150-450 ms) under their hits: median %.1f dB, their sides' correlation %.2f"
          % (float(np.median(tails)), float(np.median(sides))))

    breakdown = mix.loudness(*mix.span(6, 7))
    print("  and: integrated %.1f LUFS (gated), true peak %.2f dBTP (4x), the breakdown %.1f LU under the theme and"
          " %.1f under the wave" % (integrated_loudness(mix.k[:mix.frame(*SHOW_END)]),
                                    amplitude_db(true_peak(mix.frames)), theme - breakdown, wave - breakdown))


# Pictures -----------------------------------------------------------------------

def spectrograms(folder, work, mix, channels_by_part):
    """Sections, fills and arrivals of the mix; the bass and the lead alone
    where their notes change (the theme's bass, the turn, the breakdown's lead)."""
    os.makedirs(folder, exist_ok=True)
    wav = os.path.join(work, "mix.wav")
    spans = [(name, wav, *mix.span(first, last)) for name, first, last in SECTIONS]
    spans += [("fill%02d" % p, wav, mix.frame(p, 32), mix.frame(p + 1, 8)) for p in FILLS]
    spans += [("arrival%02d" % p, wav, mix.frame(p - 1, 48), mix.frame(p, 16)) for p in ARRIVALS]
    for part, places in (("bass", ((2, 32, 3, 0), (5, 32, 6, 0), (12, 0, 12, 32))),
                         ("lead", ((6, 0, 6, 48), (2, 0, 2, 32), (16, 0, 16, 32)))):
        channels = channels_by_part.get(part)
        if not channels:
            continue
        solo = os.path.join(work, "solo_%s.wav" % part)
        sources = [os.path.join(work, "solo%d.wav" % (c + 1)) for c in channels]
        if len(sources) > 1:
            subprocess.run(["sox", "-m"] + sources + [solo], check=True)
        else:
            solo = sources[0]
        for p, r, p2, r2 in places:
            spans.append(("%s_%02d_%02d" % (part, p, r), solo, mix.frame(p, r), mix.frame(p2, r2)))
    for name, source, start, end in spans:
        subprocess.run(["sox", source, "-n", "trim", "%ds" % start, "%ds" % (end - start), "spectrogram",
                        "-t", name, "-x", "1200", "-y", "257", "-z", "90",
                        "-o", os.path.join(folder, name + ".png")], check=True)


def main():
    arguments = sys.argv[1:]
    folder = None
    if "--spectrograms" in arguments:
        i = arguments.index("--spectrograms")
        folder = arguments[i + 1]
        del arguments[i:i + 2]
    only_targets = "--targets" in arguments
    if only_targets:
        arguments.remove("--targets")
    if not 1 <= len(arguments) <= 2:
        sys.exit(__doc__)
    render_module = arguments[0]
    module = arguments[1] if len(arguments) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "..", "assets", "song.xm")
    orders, patterns, channels, instruments = read_module(module)
    parts = channel_parts(orders, patterns, channels, instruments)
    with tempfile.TemporaryDirectory() as work:
        mix = Song(*render(render_module, module, os.path.join(work, "mix.wav")))
        solos = []
        for c in range(channels):
            frames, _ = render(render_module, module, os.path.join(work, "solo%d.wav" % (c + 1)),
                               ("--solo", str(c + 1)))
            solo = Song.__new__(Song)
            solo.frames, solo.rows = frames, mix.rows
            solo.k = k_weighted(frames)
            solos.append(solo)
        names = ["ch%d" % (c + 1) for c in range(channels)]
        if only_targets:
            targets(mix, solos, parts, patterns, orders, instruments)
            return
        print("Song report: %s, %d positions, %d channels, %.2f s up to the loop, %d bytes\n" % (
            os.path.basename(module), len(orders), channels, mix.frame(len(orders), 0) / RATE,
            os.path.getsize(module)))
        for c in range(channels):
            played = sorted(set().union(*(position[c] for position in parts)))
            print("  channel %d: %s" % (c + 1, "/".join(played) or "-"))
        print()
        section_table(mix, solos, names, parts)
        lead_balance(mix, solos, parts)
        climax_repeats(patterns, orders, parts)
        fills(mix, solos, names)
        arrivals(mix)
        riser_sweeps(mix, solos, parts, patterns, orders, instruments)
        harmony(sounding_notes(mix, solos, patterns, orders, instruments))
        ending(mix)
        stereo(mix)
        bands(mix, solos, names, parts)
        lead_mono(mix, solos, patterns, orders, parts)
        pad_balance(mix, solos, parts)
        kick_low(solos, parts)
        sample_ends(instruments)
        targets(mix, solos, parts, patterns, orders, instruments)
        starts = note_starts(mix, patterns, orders, channels)
        note_start_steps(mix, solos, names, starts)
        tick_steps(mix, solos, names, starts)
        peak = float(np.max(np.abs(mix.frames)))
        print("\nPeak %.2f dBFS; whole song %.1f LU, %.1f dBFS RMS" % (
            amplitude_db(peak), mix.loudness(0, len(mix.frames)), mix.level(0, len(mix.frames))))
        if folder:
            by_part = {part: channels_of(parts, part, 0, len(orders) - 1, only=False) for part in ("bass", "lead")}
            by_part["lead"] = channels_of(parts, "lead", *CLIMAX)
            spectrograms(folder, work, mix, by_part)


if __name__ == "__main__":
    main()
