#!/usr/bin/env python3
"""Writes assets/song.xm, the show's music: "Lanterns over Brackenridge", a
shuffle in A minor at 104 BPM.  22 order positions of 64-row patterns, two
bars of 4/4 each; rows run at 4 and 2 ticks alternately, two rows each,
which gives the swung sixteenths.  The sections follow the show's scenes,
and the rows where the picture fades out (row 40 before each cut) carry a
fill, a riser or a break so that sound and picture turn together.

The replayer changes gains once a tick (24 ms here) and never ramps them,
so nothing here moves a sounding note's level by more than a few 64ths a
tick: short notes end inside their samples, a held voice glides from note
to note and releases slowly, and a note starts only where the last one on
its channel has ended.  Deterministic: the same bytes on every run."""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import song_samples as s  # noqa: E402
from xm_file import KEY_OFF, Envelope, Instrument, module_bytes  # noqa: E402

ROWS = 64
CHANNELS = 16
POSITIONS = 22
N = s.note_number

# Instruments, 1-based as the cells name them.
(KICK, SNARE, HAT, BASS, PAD, LEAD, PLUCK, CRASH, RISER, LEAD_OCTAVE, BASS_4, BASS_8, BASS_12,
 BELL, TOM, CHIP, SWEEP, ROOM) = range(1, 19)
BASS_PLUCKS = (BASS_4, BASS_8, BASS_12)  # gates as song_samples.BASS_GATES
# Channels: drums, bass, three pads, the lead, the second voice (plucks,
# arpeggio, counter-line), crash, the lead's octave or harmony, effects
# (risers, the bell's motif); then the space around them: the lead's two
# echoes and the snare's room, left and right.
CK, CS, CH, CB, CP1, CP2, CP3, CL, CA, CF, CD, CX, CE1, CE2, CR1, CR2 = range(CHANNELS)
PADS = (CP1, CP2, CP3)

# Effect letters as XM stores them.
ARPEGGIO, PORTA_UP, PORTA_DOWN, TONE_PORTA, VIBRATO = 0x0, 0x1, 0x2, 0x3, 0x4
SET_PANNING, SAMPLE_OFFSET, VOLUME_SLIDE, SET_VOLUME, EXTENDED, SPEED = 0x8, 0x9, 0xA, 0xC, 0xE, 0xF
KEY_OFF_AT, MULTI_RETRIG = 20, 27  # K, R
RETRIG, NOTE_CUT, NOTE_DELAY = 0x90, 0xC0, 0xD0  # E9x, ECx, EDx high nibbles

ARRIVALS = (2, 6, 8, 12, 16, 20)  # positions whose row 0 ends a riser
KICK_LONG, KICK_SHORT, KICK_MEDIUM = "C-4", "D-4", "E-4"  # the kick's three samples, by note
KICK_TICKS = ((18, KICK_LONG), (12, KICK_MEDIUM), (0, KICK_SHORT))  # the longest that ends before the next
RELEASE_TICKS = 22  # a held voice's release after a key off
LEAD_REACH = 20  # semitones a lead phrase may glide above its zone's home
TICK_SECONDS = 2.5 / 104
BEAT_ROWS = 8
MIX_GAIN = 1.17  # every volume written here is scaled by this, up to 64


def scaled(v):
    return min(64, round(v * MIX_GAIN))


def vol(v):
    """A set-volume in the volume column."""
    return 0x10 + scaled(v)


def glide(speed):
    """Tone portamento in the volume column, `speed` semitones a tick."""
    return 0xF0 | max(1, min(15, speed))


CHORDS = {  # pad voicing (three notes) and bass root
    "Am": (("A-3", "C-4", "E-4"), "A-2"),
    "F": (("A-3", "C-4", "F-4"), "F-2"),
    "C": (("G-3", "C-4", "E-4"), "C-3"),
    "G": (("G-3", "B-3", "D-4"), "G-2"),
    "E": (("G#3", "B-3", "E-4"), "E-2"),
    "Dm": (("A-3", "D-4", "F-4"), "D-2"),
    "Em": (("G-3", "B-3", "E-4"), "E-2"),
}
MAJOR = {"F", "C", "G", "E"}
# The wave's own voicings, close and higher than the first theme's, so that
# its theme does not sound through the first theme's chords.
WAVE_VOICINGS = {
    "Dm": ("D-4", "F-4", "A-4"), "F": ("C-4", "F-4", "A-4"), "Am": ("C-4", "E-4", "A-4"),
    "Em": ("B-3", "E-4", "G-4"), "G": ("B-3", "D-4", "G-4"), "E": ("B-3", "E-4", "G#4"),
}
WAVE_POSITIONS = range(8, 12)
SCALE = (0, 2, 3, 5, 7, 8, 10)  # A minor: semitones of A B C D E F G above A

PROGRESSION = [
    ("Am", "F"), ("C", "G"),
    ("Am", "F"), ("C", "G"), ("Am", "F"), ("G", "E"),
    ("Dm", "Am"), ("F", "E"),
    ("Dm", "F"), ("Am", "Em"), ("F", "Dm"), ("G", "E"),  # the wave's theme, on the subdominant
    ("F", "G"), ("Em", "Am"), ("Dm", "G"), ("E", "E"),
    ("C", "F"), ("Em", "G"), ("F", "Dm"), ("G", "E"),  # the climax, harmonised anew
    ("F", "G"), ("E", "Am"),
]

# Lead phrases, one string per position: NOTE:rows; a note glides from the
# one before unless the lead was silent; "---" keys off.
MELODY = {
    2: "E-5:8 D-5:4 C-5:4 D-5:8 E-5:8 C-5:12 A-4:4 C-5:8 F-5:8",
    3: "E-5:16 G-5:8 E-5:8 D-5:24 B-4:4 D-5:4",
    4: "E-5:8 D-5:4 C-5:4 D-5:8 E-5:8 A-5:16 G-5:8 F-5:8",
    5: "G-5:8 F-5:4 E-5:4 D-5:8 A-4:4 B-4:4 D-5:4 B-4:4 G#4:16 ---:8",
    6: "---:8 D-5:8 F-5:8 E-5:8 C-5:24 ---:8",
    7: "A-4:16 C-5:16 B-4:8 ---:24",
    8: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 A-5:12 G-5:4 F-5:8 E-5:8",
    9: "G-5:4 E-5:4 C-5:4 E-5:4 G-5:8 C-6:8 B-5:16 A-5:4 G-5:4 D-5:8",
    10: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 D-6:12 C-6:4 A-5:8 F-5:8",
    11: "G-5:8 B-5:8 D-6:8 B-5:8 D-6:4 B-5:4 ---:16 E-5:2 G#5:2 B-5:2 D-6:2",
    12: "C-5:8 F-5:8 A-5:12 G-5:20 D-5:8 G-5:8",
    13: "B-4:8 E-5:8 G-5:8 E-5:8 A-5:24 E-5:8",
    14: "F-5:8 A-5:8 D-6:12 C-6:4 B-5:16 G-5:8 D-5:8",
    15: "E-5:8 G#5:8 B-5:40 ---:8",
    16: "E-6:8 D-6:4 C-6:4 D-6:8 E-6:8 C-6:12 A-5:4 C-6:8 F-6:8",
    17: "E-6:16 G-6:8 E-6:8 D-6:24 B-5:4 D-6:4",
    18: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 D-6:12 C-6:4 A-5:8 F-5:8",
    19: "G-5:8 B-5:8 D-6:8 B-5:8 E-6:24 ---:8",
    20: "A-5:16 G-5:8 F-5:8 G-5:16 D-5:16",
    21: "E-5:8 G#5:8 B-5:16 A-5:12 ---:20",
}
# The theme's motif, the song's signature, in the bell: foretold in the
# intro, moved through the chords of the greetings, falling home at the
# end.  The bell also echoes the lead in the breakdown and sounds the
# climax's counter-line.
MOTIF = "E-5:8 D-5:4 C-5:4 D-5:8 E-5:8"
LAST_MOTIF = "E-5:8 D-5:4 C-5:4 B-4:8 A-4:8"  # falling home

# Levels, as volume column values (before MIX_GAIN).
LEAD_VOLUME = 0x2E
OCTAVE_VOLUME = 0x24
PAD_VOLUME = 0x1C
PLUCK_VOLUME = 0x30
CLIMAX_LEAD = 0x2E  # the lead's level where the climax starts
BASS_LEVEL = 0.76


def phrase_events(text):
    events, row = [], 0
    for token in text.split():
        name, length = token.split(":")
        events.append((row, name, int(length)))
        row += int(length)
    return events


def parse_phrase(text):
    events = phrase_events(text)
    assert events[-1][0] + events[-1][2] == ROWS, text
    return events


def ticks_of(row):
    return 4 if row % 4 < 2 else 2


def ticks_between(first_row, last_row):
    return sum(ticks_of(r) for r in range(first_row, last_row))


class Pattern:
    def __init__(self):
        self.rows = [[[0, 0, 0, 0, 0] for _ in range(CHANNELS)] for _ in range(ROWS)]

    def put(self, row, channel, note=None, instrument=0, volume=0, effect=None, param=0):
        cell = self.rows[row][channel]
        if note is not None:
            cell[0] = note if isinstance(note, int) else N(note)
            cell[1] = instrument
        if volume:
            cell[2] = volume
        if effect is not None:
            cell[3], cell[4] = effect, param

    def effect_free(self, row, channel):
        cell = self.rows[row][channel]
        return cell[3] == 0 and cell[4] == 0

    def clear(self, first_row, channels):
        for row in range(first_row, ROWS):
            for channel in channels:
                self.rows[row][channel] = [0, 0, 0, 0, 0]

    def key_off_after(self, row, channel, ticks):
        """A key off `ticks` into the row (or a later one); none past the end."""
        while row < ROWS and ticks >= ticks_of(row):
            ticks -= ticks_of(row)
            row += 1
        if row >= ROWS:
            return
        if ticks == 0:
            self.put(row, channel, KEY_OFF, 0)
        else:
            self.put(row, channel, effect=KEY_OFF_AT, param=ticks)

    def place_speeds(self):
        """4 ticks on rows 0-1 of every four, 2 on rows 2-3: the shuffle.
        The speed goes into the first channel with a free effect slot."""
        for row in range(0, ROWS, 2):
            channel = next(c for c in range(CHANNELS) if self.effect_free(row, c))
            self.put(row, channel, effect=SPEED, param=4 if row % 4 == 0 else 2)


class Voices:
    """What carries over from one position to the next: which held voices
    sound (and on what note) and the pads' level."""

    def __init__(self):
        self.sounding = {}
        self.pads = 0


def chord_at(position, row):
    return PROGRESSION[position][row // 32]


def voicing(position, row):
    """The pads' three notes for the chord on `row`."""
    name = chord_at(position, row)
    return WAVE_VOICINGS[name] if position in WAVE_POSITIONS else CHORDS[name][0]


def slide(p, channels, first_row, last_row, current, target, rate=1):
    """Volume slides from `current` toward `target`, at most `rate` a tick,
    on rows first_row..last_row - 1; returns the level reached."""
    target = scaled(target)
    for row in range(first_row, last_row):
        later = ticks_of(row) - 1
        step = min(rate, abs(target - current) // later)
        if step == 0:
            continue
        for channel in channels:
            assert p.effect_free(row, channel), (row, channel)
            p.put(row, channel, effect=VOLUME_SLIDE, param=step << 4 if target > current else step)
        current += step * later * (1 if target > current else -1)
    return current


# Drums -------------------------------------------------------------------------

def kicks(p, rows, volume=0x3A):
    """Kicks on `rows`, each the longest that has ended when the next one comes."""
    rows = sorted(set(rows))
    for i, row in enumerate(rows):
        following = rows[i + 1] if i + 1 < len(rows) else ROWS
        note = next(n for ticks, n in KICK_TICKS if ticks_between(row, following) >= ticks)
        p.put(row, CK, note, KICK, vol(volume))


def hats(p, rows, open_rows=(), loud=0x35, soft=0x2C):
    """The open hat from its place in the hat sample; a closed one is cut in
    the silence between the two, before the open one can sound."""
    for row in rows:
        level = loud if row % 8 == 4 else soft if row % 4 else loud - 6
        if row in open_rows:
            p.put(row, CH, "C-4", HAT, vol(loud + 2), SAMPLE_OFFSET, s.HAT_OPEN_OFFSET)
        elif ticks_of(row) == 4:
            p.put(row, CH, "C-4", HAT, vol(level), EXTENDED, NOTE_CUT | 2)
        else:
            p.put(row, CH, "C-4", HAT, vol(level))
            if row + 1 < ROWS and row + 1 not in rows:
                p.put(row + 1, CH, effect=EXTENDED, param=NOTE_CUT | 1)


def backbeat(p, ghosts=True, volume=0x3A):
    for row in (8, 24, 40, 56):
        p.put(row, CS, "C-4", SNARE, vol(volume))
    if ghosts:
        for row in (14, 46):
            p.put(row, CS, "C-4", SNARE, vol(0x12))
        p.put(30, CS, "C-4", SNARE, vol(0x10), EXTENDED, NOTE_DELAY | 1)


def groove(p, last_bar=True, kick_volume=0x3A, snare_volume=0x3A):
    end = ROWS if last_bar else 40
    kicks(p, range(0, end, 8), kick_volume)
    hats(p, range(0, end, 4), open_rows=(60,))
    backbeat(p, volume=snare_volume)
    if not last_bar:
        p.clear(40, (CS, CH, CK))


def wave_groove(p, last_bar=True):
    """The wave's own beat, broken: the kick on one, after the backbeat and
    pushing into it, ghost notes between, sixteenth hats."""
    end = ROWS if last_bar else 40
    kicks(p, [r for r in (0, 12, 16, 22, 32, 44, 48, 60) if r < end])
    hats(p, range(0, end, 2), open_rows=(28, 60), loud=0x31, soft=0x28)
    backbeat(p, ghosts=False)
    for row, level in ((18, 0x12), (30, 0x14), (38, 0x10), (54, 0x14)):
        p.put(row, CS, "C-4", SNARE, vol(level))
    if not last_bar:
        p.clear(40, (CS,))


def crash(p, row=0, volume=0x30):
    p.put(row, CF, "C-4", CRASH, vol(volume))


def snare_build(p, start=0x30):
    """Snare from row 40, doubling its rate every eight rows, louder as it
    goes, and silent for the last half beat: the downbeat lands on a gap."""
    for i, row in enumerate((40, 44, 48, 52)):
        p.put(row, CS, "C-4", SNARE, vol(start + 4 * i))
    for i, row in enumerate((56, 58)):
        p.put(row, CS, "C-4", SNARE, vol(start + 4 + 4 * i), EXTENDED,
              RETRIG | (2 if row % 4 == 0 else 1))


def snare_roll(p, first_row=48, last_row=ROWS, volume=0x24):
    """One note, retriggered every tick and louder each time."""
    p.put(first_row, CS, "C-4", SNARE, vol(volume), MULTI_RETRIG, 0xA1)
    for row in range(first_row + 1, last_row):
        p.put(row, CS, effect=MULTI_RETRIG, param=0x00)


def tom_run(p, rows, notes, volume=0x3C):
    for row, note in zip(rows, notes):
        p.put(row, CK, note, TOM, vol(volume))


def noise_riser(p, first_row, from_note, speed, volume=0x30, down=False, last_row=ROWS):
    """The noise slid `speed`/16 semitones a tick from `from_note`, swelling."""
    p.put(first_row, CX, from_note, RISER, vol(volume), PORTA_DOWN if down else PORTA_UP, speed)
    for row in range(first_row + 1, last_row):
        p.put(row, CX, effect=PORTA_DOWN if down else PORTA_UP, param=speed)


def riser_pull_back(p):
    """The riser sinks away over the last beat (4 a tick, a step the noise
    masks): the downbeat lands on a gap, not on a wall."""
    for row in range(56, ROWS):
        p.put(row, CX, volume=0x64)


def sweep_riser(p, first_row, speed, volume=0x28, from_note="C-2"):
    p.put(first_row, CX, from_note, SWEEP, vol(volume), PORTA_UP, speed)
    for row in range(first_row + 1, ROWS):
        p.put(row, CX, volume=0x71 if row % 2 else 0, effect=PORTA_UP, param=speed)


# Harmony -----------------------------------------------------------------------

PAD_PANNING = (0x3C, 0x80, 0xC4)  # near the middle: each side hears the whole chord


def pads(p, position, voices, rows=(0, 32), fresh=(), volume=PAD_VOLUME):
    """The chord on the three pad channels, spread a little left to right.
    A chord change glides the sounding voices; only rows in `fresh`, where
    the pads were silent, start notes (the envelope swells them in)."""
    for row in rows:
        notes = voicing(position, row)
        for channel, note, pan in zip(PADS, notes, PAD_PANNING):
            if row in fresh:
                p.put(row, channel, note, PAD, vol(volume), SET_PANNING, pan)
                voices.pads = scaled(volume)
            else:
                p.put(row, channel, note, 0, glide(2))


def pads_off(p, row):
    for channel in PADS:
        p.put(row, channel, KEY_OFF, 0)


BASS_LOWEST = N("D-2")


def bass_home(note):
    """The bass's zones start every six semitones from its lowest note."""
    assert note >= BASS_LOWEST, note
    return BASS_LOWEST + (note - BASS_LOWEST) // 6 * 6


def bass_notes(p, notes, end_row=ROWS, held_from=0.5):
    """(row, note, volume) in order, the next note (or rest: note None) or
    `end_row` ending each: the longest pluck whose gate closes before the
    next note, or the held bass, keyed off so that its release ends before
    the next note."""
    for i, (row, note, volume) in enumerate(notes):
        if note is None:
            continue
        following = notes[i + 1][0] if i + 1 < len(notes) else end_row
        ticks = ticks_between(row, following)
        gap = ticks * TICK_SECONDS
        fits = [instrument for instrument, seconds in zip(BASS_PLUCKS, s.BASS_GATES)
                if s.seconds_at(note, bass_home(note), seconds) <= gap - 0.004]
        if gap >= held_from or not fits:
            assert ticks > RELEASE_TICKS + 1, (row, note, "no room to release a held note")
            p.put(row, CB, note, BASS, vol(round(volume)))
            p.key_off_after(row, CB, max(1, ticks - RELEASE_TICKS - 1))
        else:
            p.put(row, CB, note, fits[-1], vol(round(volume)))


BASS_FIGURES = {
    # (row, interval, level) in a bar of 32 rows.
    "pulse": ((0, 0, 0x3C), (4, 0, 0x30), (6, 12, 0x2C), (8, 0, 0x3C), (12, 0, 0x30), (14, 12, 0x2C),
              (16, 0, 0x3C), (20, 0, 0x30), (22, 7, 0x30), (24, 0, 0x3C), (28, 12, 0x34), (30, 7, 0x2C)),
    "half": ((0, 0, 0x38), (12, 0, 0x24), (20, 0, 0x34), (24, 12, 0x28), (28, 7, 0x24)),
    # The half time's: answering the kick (rows 0, 20, 22), silent under it
    # and gone before the next chord.
    "answer": ((4, 0, 0x3A), (14, 12, 0x2C), (18, None, 0), (24, 0, 0x36), (28, 7, 0x2C), (31, None, 0)),
    "long": ((0, 0, 0x38), (16, 12, 0x20), (20, 0, 0x30)),
    # The wave's: landing with its broken kick, the octave bouncing between.
    "bounce": ((0, 0, 0x3C), (6, 12, 0x28), (12, 0, 0x38), (16, 0, 0x3C), (20, 12, 0x28), (22, 7, 0x30),
               (26, 12, 0x28), (28, 0, 0x34), (30, "walk", 0x2C)),
    # The climax's: swung eighths leaping the octave, walking into each chord.
    "drive": ((0, 0, 0x3E), (2, 12, 0x2C), (4, 0, 0x34), (6, 7, 0x2C), (8, 0, 0x3C), (10, 12, 0x2C),
              (12, 0, 0x34), (14, 7, 0x2C), (16, 0, 0x3E), (18, 12, 0x2C), (20, 0, 0x34), (22, 7, 0x2C),
              (24, 0, 0x3C), (26, 12, 0x30), (28, 7, 0x34), (30, "walk", 0x30)),
}


def scale_degree(note):
    """Degrees of the A minor scale above A-0 (G# counts as G)."""
    octave, semitone = divmod(note - N("A-0"), 12)
    return 7 * octave + max(i for i, d in enumerate(SCALE) if d <= semitone)


def scale_step(note, steps):
    """The note `steps` degrees up (or down) the A minor scale."""
    octave, degree = divmod(scale_degree(note) + steps, 7)
    return N("A-0") + 12 * octave + SCALE[degree]


def bass_line(p, position, style, first_row=0, last_row=ROWS, level=BASS_LEVEL, end_row=ROWS):
    notes = []
    for bar in (0, 32):
        root = N(CHORDS[chord_at(position, bar)][1])
        for row, interval, volume in BASS_FIGURES[style]:
            if not first_row <= bar + row < last_row:
                continue
            if interval is None:
                notes.append((bar + row, None, 0))
                continue
            if interval == "walk":
                # A step toward the next chord's root, from below (from above
                # where below lies under the bass's lowest zone).
                following = N(CHORDS[chord_at((position + (bar + 32) // 64) % POSITIONS, (bar + 32) % 64)][1])
                note = scale_step(following, -1)
                if note < BASS_LOWEST:
                    note = scale_step(following, 1)
            else:
                note = root + interval
            notes.append((bar + row, note, volume * level))
        if style == "long" and first_row <= bar + 8 and bar + 16 <= last_row:
            for row in range(bar + 8, bar + 16):
                p.put(row, CB, volume=0x61)  # the held note sinks before it breathes again
    bass_notes(p, notes, end_row)


SIDES = ((CA, 0x18), (CX, 0xE8))  # the plucks' two channels, far left and far right
AFTER_RISER = 8  # rows into a scene before the effects channel has let its riser go


def lead_notes(position, row):
    """The notes the lead and its second voice may hold on `row` (the
    harmony below in the climax; the octave elsewhere shares the lead's
    letter)."""
    if position not in MELODY:
        return []
    return [n for r, name, length in parse_phrase(MELODY[position]) if name != "---" and r <= row < r + length
            for n in (N(name), harmony_below(position, row, N(name)))]


def rubs(a, b):
    return abs(a - b) % 12 in (1, 11)


def clear_of_lead(position, row, tones, wanted):
    """`wanted`, or the nearest of `tones` that does not rub a semitone
    against the lead on `row`."""
    against = lead_notes(position, row)
    for tone in sorted(tones, key=lambda t: abs(tones.index(t) - tones.index(wanted))):
        if not any(rubs(tone, n) for n in against):
            return tone
    return None


def broken_chords(p, position, volume=PLUCK_VOLUME, first_row=0, last_row=ROWS, step=2, sides=SIDES,
                  beats=True):
    """Chord tones rolling up and down in swung sixteenths, above the lead,
    thrown from side to side (all on the left while a riser fades out);
    without `beats`, they leave the beats to the drums."""
    order = (0, 1, 2, 3, 2, 1)
    rows = [r for r in range(first_row, last_row, step) if beats or r % BEAT_ROWS]
    for i, row in enumerate(rows):
        notes, _ = CHORDS[chord_at(position, row)]
        tones = [N(n) + 24 for n in notes] + [N(notes[0]) + 36]
        tone = clear_of_lead(position, row, tones, tones[order[i % len(order)]])
        if tone is None:
            continue
        channel, pan = sides[i % len(sides)]
        if channel == CX and position in ARRIVALS and row < AFTER_RISER:
            channel, pan = sides[0]
        p.put(row, channel, tone, PLUCK, vol(volume - (0 if row % 8 == 0 else 5)), SET_PANNING, pan)


COUNTER_SHAPES = ((0, 1, 2, 3, 2, 1, 2, 1), (3, 2, 1, 2, 0, 1, 2, 3))  # chord tones, by eighths


def counter_line(p, position, volume, last_row=ROWS):
    """The climax's counter-line: the bell through each chord's tones in
    eighths, up and back, far left; a tone that would rub a semitone
    against the lead or its harmony gives way to its neighbour."""
    for half, shape in zip((0, 32), COUNTER_SHAPES):
        notes, _ = CHORDS[chord_at(position, half)]
        tones = [N(n) + 12 for n in notes] + [N(notes[0]) + 24]
        for i, degree in enumerate(shape):
            row = half + 4 * i
            tone = clear_of_lead(position, row, tones, tones[degree]) if row < last_row else None
            if tone is not None:
                p.put(row, CA, tone, BELL, vol(volume - (0 if row % 8 == 0 else 4)), SET_PANNING, 0x18)


def chip_arpeggio(p, position, voices, volume=0x0B, last_row=ROWS):
    """A held chord root with the tracker arpeggio, minor or major, gliding
    to each new root."""
    for row in range(0, last_row):
        name = chord_at(position, row)
        param = 0x47 if name in MAJOR else 0x37
        if row % 32 == 0:
            root = N(CHORDS[name][1]) + 36
            if voices.sounding.get(CA):
                p.put(row, CA, root, 0, glide(4), ARPEGGIO, param)
            else:
                p.put(row, CA, root, CHIP, vol(volume), ARPEGGIO, param)
            voices.sounding[CA] = root
        else:
            p.put(row, CA, effect=ARPEGGIO, param=param)


# Melody ------------------------------------------------------------------------

def harmony_below(position, row, note):
    """The third below in the scale or, where that would rub against the
    chord, the nearest chord tone at least a minor third below."""
    third = scale_step(note, -2)
    chord = [N(n) for n in CHORDS[chord_at(position, row)][0]]
    if not any(rubs(third, c) for c in chord):
        return third
    return max(t for t in range(note - 12, note - 2) if any((t - c) % 12 == 0 for c in chord))


def line(p, position, channel, instrument, events, voices, volume, transpose=0, vibrato="effect",
         harmony=False, panning=None):
    """A held voice through its phrase: the first note starts, the others
    glide (faster over wider leaps; the second voice with the effect, the
    lead in the volume column), "---" keys off; long notes sink a little
    and get vibrato from their seventh row."""
    for row, name, length in events:
        if name == "---":
            if voices.sounding.get(channel):
                p.put(row, channel, KEY_OFF, 0)
            voices.sounding[channel] = None
            continue
        note = N(name) + transpose
        if harmony:
            note = harmony_below(position, row, note)
        previous = voices.sounding.get(channel)
        if previous:
            speed = math.ceil(abs(note - previous) / 2) + 1
            if channel == CL:
                p.put(row, channel, note, 0, glide(speed))
            else:
                p.put(row, channel, note, 0, 0, TONE_PORTA, 16 * min(15, speed))
        elif panning is None:
            p.put(row, channel, note, instrument, vol(volume))
        else:
            p.put(row, channel, note, instrument, vol(volume), SET_PANNING, panning)
        voices.sounding[channel] = note
        if length >= 12:
            if vibrato != "column":
                p.put(row + 4, channel, volume=0x82)
            for r in range(row + 6, row + length):
                if vibrato == "column":
                    p.put(r, channel, volume=0xA5 if r == row + 6 else 0xB3)
                else:
                    p.put(r, channel, effect=VIBRATO, param=0x54)


def lead(p, position, voices, volume=LEAD_VOLUME, vibrato="effect", second="octave",
         octave_volume=OCTAVE_VOLUME):
    """The lead and its second voice: an octave above in the flute, or a
    harmony below in the reed, far right."""
    events = parse_phrase(MELODY[position])
    line(p, position, CL, LEAD, events, voices, volume, vibrato=vibrato)
    if second == "octave":
        line(p, position, CD, LEAD_OCTAVE, events, voices, octave_volume, transpose=12, vibrato=vibrato)
    else:
        line(p, position, CD, LEAD, events, voices, volume * 7 // 8, vibrato=vibrato, harmony=True,
             panning=0xF0)


def bell_phrase(p, channel, text, volume, first_row=0, fade=0):
    """One-shot bell notes from `first_row`; each quieter by `fade`."""
    for i, (row, name, _) in enumerate(phrase_events(text)):
        if name != "---":
            p.put(first_row + row, channel, name, BELL, vol(max(4, volume - fade * i)))


def motif_in(p, position, channel, volume, pan):
    """The motif on each chord of the position, moved up or down the scale
    to start on a tone of the chord (the fifth if no note of it then rubs
    against the chord): the signature returning through the greetings."""
    motif = [(row, N(name)) for row, name, _ in phrase_events(MOTIF)]
    for half in (0, 32):
        voicing, root = CHORDS[chord_at(position, half)]
        chord = [N(n) for n in voicing]
        for start in (N(root) + 31, N(root) + 28, N(root) + 36):  # fifth, third, root, in the fifth octave
            degrees = scale_degree(start) - scale_degree(motif[0][1])
            notes = [(row, scale_step(note, degrees)) for row, note in motif]
            if not any(rubs(n, c) for _, n in notes for c in chord):
                break
        for row, note in notes:
            if clear_of_lead(position, half + row, [note], note) is not None:
                p.put(half + row, channel, note, BELL, vol(volume), SET_PANNING, pan)


def bell_echo(p, position, delay=6, volume=0x20):
    """The lead's phrase again in the bell, `delay` rows later; a note that
    would rub a semitone against the lead is left out."""
    events = [e for e in parse_phrase(MELODY[position]) if e[1] != "---"]
    for row, name, _ in events:
        at = row + delay
        if at >= ROWS:
            continue
        against = [n for r, n, length in events if r < at + 6 and r + length > at]
        if any(abs(N(n) - N(name)) % 12 in (1, 11) for n in against):
            continue
        p.put(at, CA, name, BELL, vol(volume), SET_PANNING, 0x18)


# Sections ----------------------------------------------------------------------

def intro(position, voices):
    p = Pattern()
    if position == 0:
        # From near silence: the pads swell, the bell foretells the motif,
        # the bass, hats and plucks come in.
        pads(p, position, voices, fresh=(0,), volume=0x06)
        voices.pads = slide(p, PADS, 1, 40, voices.pads, PAD_VOLUME - 6)
        bell_phrase(p, CX, MOTIF, 0x18, first_row=16)
        broken_chords(p, position, volume=0x14, first_row=32, step=4, sides=SIDES[:1])
        hats(p, range(32, ROWS, 4), loud=0x1C, soft=0x12)
        p.put(32, CB, "F-2", BASS, vol(0x08))
        for row in range(33, ROWS, 2):
            p.put(row, CB, volume=0x71)
        p.put(56, CB, KEY_OFF, 0)
        kicks(p, (48, 56), volume=0x24)
    else:
        pads(p, position, voices)
        broken_chords(p, position, volume=0x20, last_row=40)
        kicks(p, range(0, 40, 8), volume=0x30)
        hats(p, range(0, 40, 4))
        bass_line(p, position, "long", last_row=40, level=0.6, end_row=40)
        # Fill: quarter kicks, the snare from eighths to a roll, the riser
        # from 300 Hz to 4 kHz.
        noise_riser(p, 40, "C-2", 0x0F, volume=0x24)
        for row in range(41, 60, 2):
            p.put(row, CX, volume=0x71)
        riser_pull_back(p)
        # The kick and the bass leave the last beat to the snare and the
        # riser, and land together on the downbeat.
        kicks(p, (40, 48, 52), volume=0x36)
        snare_build(p)
        bass_line(p, position, "pulse", first_row=40, last_row=56, level=BASS_LEVEL * 0.8, end_row=56)
        hats(p, range(40, 60, 2), loud=0x24, soft=0x18)
        voices.pads = slide(p, PADS, 40, 60, voices.pads, 0x26)
    return p


def main_theme(position, voices):
    p = Pattern()
    if position == 2:
        crash(p, volume=0x40)
        p.put(0, CX, KEY_OFF, 0)
    turn = position == 5
    groove(p, last_bar=not turn)
    bass_line(p, position, "pulse", last_row=48 if turn else ROWS, level=BASS_LEVEL * 0.75,
              end_row=48 if turn else ROWS)
    pads(p, position, voices)
    if position == 2:
        voices.pads = slide(p, PADS, 1, 16, voices.pads, PAD_VOLUME - 4)
    broken_chords(p, position, volume=PLUCK_VOLUME - 14, last_row=40 if turn else ROWS)
    lead(p, position, voices, volume=LEAD_VOLUME - 5, octave_volume=OCTAVE_VOLUME - 5)
    if turn:
        # Falling into the breakdown: toms down the kit, the bass diving
        # under them, the pads sinking, the noise falling four octaves.
        tom_run(p, (40, 44, 48, 52, 54), ("C-5", "A-4", "F-4", "D-4", "A-3"), volume=0x36)
        hats(p, (40, 44), loud=0x24)
        p.put(48, CB, "E-2", BASS, vol(round(0x38 * BASS_LEVEL)), PORTA_DOWN, 0x06)
        for row in range(49, 56):
            p.put(row, CB, effect=PORTA_DOWN, param=0x06)
        p.put(56, CB, KEY_OFF, 0)
        noise_riser(p, 40, "A-5", 0x0F, volume=0x26, down=True)
        for row in range(48, ROWS):
            p.put(row, CX, volume=0x61)
        voices.pads = slide(p, PADS, 44, ROWS, voices.pads, 0x12)
    return p


def breakdown(position, voices):
    p = Pattern()
    if position == 6:
        crash(p, volume=0x24)
        kicks(p, (0,), volume=0x34)
        p.put(0, CX, KEY_OFF, 0)
    pads(p, position, voices)
    # The bass and the lead well down: the breakdown lies 3 LU under the theme.
    bass_line(p, position, "long", last_row=ROWS if position == 6 else 40, level=0.42,
              end_row=ROWS if position == 6 else 40)
    lead(p, position, voices, volume=0x1C, octave_volume=OCTAVE_VOLUME - 10)
    bell_echo(p, position, volume=0x1C)
    hats(p, range(4, ROWS if position == 6 else 40, 8), loud=0x18)
    if position == 7:
        # Fill: the kicks double, a rising snare roll, the tonal riser over
        # four octaves, the bass pulsing in eighths, the pads swelling back.
        kicks(p, list(range(32, 48, 8)) + list(range(48, 56, 4)) + [56, 58], volume=0x30)
        sweep_riser(p, 40, 0x10, volume=0x24)
        riser_pull_back(p)
        snare_roll(p, 48, 56, volume=0x10)
        p.put(40, CS, "C-4", SNARE, vol(0x2C))
        p.put(44, CS, "C-4", SNARE, vol(0x30))
        bass_line(p, position, "pulse", first_row=40, last_row=56, level=0.6, end_row=56)
        hats(p, range(40, ROWS, 2), loud=0x24, soft=0x18)
        voices.pads = slide(p, PADS, 40, ROWS, voices.pads, 0x18)
    return p


def wave(position, voices):
    p = Pattern()
    if position == 8:
        crash(p, volume=0x40)
        p.put(0, CX, KEY_OFF, 0)
    turn = position == 11
    wave_groove(p, last_bar=not turn)
    bass_line(p, position, "bounce", last_row=40 if turn else ROWS, level=BASS_LEVEL * 0.68,
              end_row=40 if turn else ROWS)
    pads(p, position, voices)
    chip_arpeggio(p, position, voices, last_row=40 if turn else ROWS)
    broken_chords(p, position, volume=PLUCK_VOLUME - 16, first_row=AFTER_RISER if position == 8 else 0,
                  last_row=40 if turn else ROWS, step=4, sides=SIDES[1:])
    lead(p, position, voices, volume=LEAD_VOLUME - 10, octave_volume=OCTAVE_VOLUME - 10)
    if turn:
        # The break: one stab, the cymbal choked, silence until the pickup
        # and a quick riser.
        crash(p, 40, 0x24)
        p.put(41, CF, effect=EXTENDED, param=NOTE_CUT | 2)
        kicks(p, (40,))
        pads_off(p, 40)
        p.put(40, CA, KEY_OFF, 0)
        voices.sounding[CA] = None
        noise_riser(p, 48, "C-2", 0x16, volume=0x20)
        riser_pull_back(p)
        for row, level in zip((56, 58), (0x20, 0x28)):
            p.put(row, CS, "C-4", SNARE, vol(level), EXTENDED, RETRIG | (2 if row % 4 == 0 else 1))
    return p


def greetings(position, voices):
    p = Pattern()
    if position == 12:
        crash(p, volume=0x38)
        p.put(0, CX, KEY_OFF, 0)
    turn = position == 15
    end = 40 if turn else ROWS
    kicks(p, [r for r in (0, 20, 22, 32, 52, 54) if r < end])
    for row in (16, 48):
        if row < end:
            p.put(row, CS, "C-4", SNARE, vol(0x40))
    hats(p, range(0, end, 4))
    bass_line(p, position, "answer", last_row=56 if turn else ROWS, end_row=56 if turn else ROWS)
    pads(p, position, voices, fresh=(0,) if position == 12 else ())
    lead(p, position, voices, vibrato="column")
    if position in (13, 14):
        motif_in(p, position, CX, 0x18, 0xD0)
    # Plucks thrown left and right, drifting back as they fade.
    for i, row in enumerate(range(2, end, 8)):
        notes, _ = CHORDS[chord_at(position, row)]
        p.put(row, CA, N(notes[i % 3]) + 24, PLUCK, 0xC3 if i % 2 else 0xCC, SET_VOLUME, scaled(PLUCK_VOLUME))
        p.put(row + 1, CA, volume=0xE4 if i % 2 else 0xD4)
    if turn:
        # Fill: toms round the kit over open eighth hats, snare flams, and
        # the long riser.
        noise_riser(p, 32, "C-2", 0x0B, volume=0x22)
        for row in range(33, ROWS, 2):
            p.put(row, CX, volume=0x71)
        riser_pull_back(p)
        tom_run(p, (40, 42, 44, 46, 48, 50, 52, 54, 56, 58),
                ("C-5", "A-4", "C-5", "A-4", "G-4", "E-4", "G-4", "E-4", "D-4", "C-4"), volume=0x40)
        hats(p, range(40, ROWS, 4), open_rows=tuple(range(40, ROWS, 4)), loud=0x2C)
        for row, level in zip((44, 52, 56), (0x34, 0x38, 0x30)):
            p.put(row, CS, "C-4", SNARE, vol(level), EXTENDED, RETRIG | 1)
    return p


def climax(position, voices):
    p = Pattern()
    if position == 16:
        crash(p, volume=0x30)
        p.put(0, CX, KEY_OFF, 0)
    turn = position == 19
    end = 40 if turn else ROWS
    # A new groove: the kick pushing into each half bar, open hats on the
    # offbeats, a ghost snare before each backbeat.
    kick_rows = [bar + r for bar in (0, 32) for r in (0, 8, 14, 16, 24, 28)]
    kicks(p, [r for r in kick_rows if r < end], volume=0x32)
    for row in (8, 24, 40, 56):
        if row < end:
            p.put(row, CS, "C-4", SNARE, vol(0x34))
            p.put(row - 4, CS, "C-4", SNARE, vol(0x14))
    hats(p, [r for r in range(0, end, 2) if r % 8], open_rows=tuple(range(4, end, 8)), loud=0x2C, soft=0x20)
    bass_line(p, position, "drive", last_row=end, level=BASS_LEVEL * 1.25, end_row=end if turn else ROWS)
    pads(p, position, voices)
    if position == 16:
        voices.pads = slide(p, PADS, 1, 24, voices.pads, 0x25)
    counter_line(p, position, 0x28 + 6 * (position - 16))  # rising: the climax does not sag
    broken_chords(p, position, volume=PLUCK_VOLUME, first_row=AFTER_RISER if position == 16 else 2,
                  last_row=40 if turn else ROWS, step=2, sides=SIDES[1:], beats=False)
    lead(p, position, voices, volume=CLIMAX_LEAD, vibrato="column", second="third")
    if position in (17, 18):
        # Louder as its phrases fall in register: the climax does not sag.
        slide(p, (CL,), 0, 16, scaled(CLIMAX_LEAD + 4 * (position - 17)), CLIMAX_LEAD + 4 * (position - 16))
    if turn:
        # Fill: the band in unison hits under the lead's held E, then a snare
        # roll under a fast sweep.
        sweep_riser(p, 48, 0x18, volume=0x24)
        riser_pull_back(p)
        for row in (40, 44, 46):
            p.put(row, CS, "C-4", SNARE, vol(0x38))
        kicks(p, [40, 44, 46, 48, 52], volume=0x3A)
        for row in (48, 52):
            p.put(row, CK, volume=vol(0x2C))
        bass_notes(p, [(40, N("E-2"), 0x30), (44, N("E-2"), 0x30), (46, N("E-2"), 0x30)], end_row=48)
        bass_line(p, position, "drive", first_row=48, last_row=56, level=BASS_LEVEL * 1.25, end_row=56)
        snare_roll(p, 48, 56, volume=0x10)
        crash(p, 40, 0x2C)
        hats(p, range(40, ROWS, 2), loud=0x2C, soft=0x20)
    return p


def outro(position, voices):
    p = Pattern()
    if position == 20:
        crash(p, volume=0x38)
        p.put(0, CX, KEY_OFF, 0)
        kicks(p, range(0, ROWS, 8), volume=0x34)
        hats(p, range(0, ROWS, 4), loud=0x20)
        backbeat(p, ghosts=False, volume=0x3A)
        bass_line(p, position, "half")
        pads(p, position, voices)
        voices.pads = slide(p, PADS, 1, 24, voices.pads, PAD_VOLUME)
        broken_chords(p, position, volume=PLUCK_VOLUME - 4)
        lead(p, position, voices, volume=LEAD_VOLUME - 4, vibrato="column")
    else:
        kicks(p, range(0, 32, 8), volume=0x30)
        hats(p, range(0, 32, 4), loud=0x1C)
        bass_line(p, position, "long", last_row=32, end_row=32)
        pads(p, position, voices)
        broken_chords(p, position, volume=PLUCK_VOLUME - 6, last_row=32, step=4)
        # Held on E, the song resolves on A minor for its last half, the bell
        # sounding the motif a last time, everything fading out under the
        # released lead before the show ends.
        p.put(32, CB, "A-2", BASS, vol(round(0x38 * BASS_LEVEL)))
        kicks(p, (32,), volume=0x30)
        crash(p, 32, 0x20)
        bell_phrase(p, CX, LAST_MOTIF, 0x1C, first_row=32, fade=3)
        slide(p, PADS, 36, 58, voices.pads, 0)
        for row in range(36, 54):
            p.put(row, CB, effect=VOLUME_SLIDE, param=0x01)
        pads_off(p, 58)
        p.put(54, CB, KEY_OFF, 0)
        lead(p, position, voices, vibrato="column")
    return p


# Space -------------------------------------------------------------------------

ECHOES = ((CE1, 8, 0.45, 0xC8), (CE2, 16, 0.28, 0x38))  # channel, rows later, level, panning
ECHO_ROWS = 2  # an echo is keyed off after this and rings out in the lead's release
ECHO_RINGS = 10  # rows from an echo's start to the end of its release
ROOMS = ((CR1, "C-4", 0x10), (CR2, "D-4", 0xF0))  # channel, the room's side by note, panning
ROOM_LEVEL = 0.55  # against the hit
ROOM_ROWS = 16  # a room rings this long: only hits this far apart get one


def held_notes(rows, channel):
    """The note sounding on `channel` on every row, a key off's release
    counted as sounding; None where it is silent."""
    out, note, silent_from = [], None, 0
    for row, cells in enumerate(rows):
        value = cells[channel][0]
        if value == KEY_OFF:
            silent_from = row + ECHO_RINGS - ECHO_ROWS
        elif value:
            note, silent_from = value, len(rows)
        out.append(note if row < silent_from else None)
    return out


def lead_echoes(rows):
    """The lead's notes again on the echo channels, a beat and two beats
    later, short, quieter and thrown apart.  An echo that would sound with
    the lead's own pitch (which beats) or a semitone from the lead, its
    second voice, the counter-line or the other echo is left out, as is one
    that would cut the echo before."""
    against = [list(notes) for notes in zip(held_notes(rows, CL), held_notes(rows, CD), held_notes(rows, CA))]
    starts, volume = [], 0
    for row, cells in enumerate(rows):
        note, _, column = cells[CL][:3]
        volume = column - 0x10 if 0x10 <= column <= 0x50 else volume
        if 1 <= note <= 96:
            starts.append((row, note, volume))
    for channel, delay, level, pan in ECHOES:
        free_from = 0
        for row, note, volume in starts:
            at = row + delay
            if at < free_from or at + ECHO_RINGS > len(rows):
                continue
            sounding = [n for notes in against[at:at + ECHO_RINGS] for n in notes if n]
            if any(rubs(note, n) or (note - n) % 12 == 0 for n in sounding):
                continue
            rows[at][channel][:] = [note, LEAD, 0x10 + round(volume * level), SET_PANNING, pan]
            rows[at + ECHO_ROWS][channel][0] = KEY_OFF
            free_from = at + ECHO_RINGS
            for notes in against[at:free_from]:
                notes.append(note)  # the later echo keeps clear of this one too


def snare_rooms(rows):
    """A room under each full snare hit that has time to ring out before the
    next: two different noises, one each side, so that the room is wide."""
    hits = [row for row in range(len(rows)) if rows[row][CS][1] == SNARE and rows[row][CS][2] >= vol(0x30)
            and rows[row][CS][3] not in (EXTENDED, MULTI_RETRIG)]
    for hit, following in zip(hits, hits[1:] + [len(rows) + ROOM_ROWS]):
        if following - hit < ROOM_ROWS:
            continue
        level = round((rows[hit][CS][2] - 0x10) * ROOM_LEVEL)
        for channel, side, pan in ROOMS:
            rows[hit][channel][:] = [N(side), ROOM, 0x10 + level, SET_PANNING, pan]


def compose():
    sections = [intro] * 2 + [main_theme] * 4 + [breakdown] * 2 + [wave] * 4 + \
        [greetings] * 4 + [climax] * 4 + [outro] * 2
    voices = Voices()
    patterns = [make(position, voices) for position, make in enumerate(sections)]
    rows = [row for p in patterns for row in p.rows]
    lead_echoes(rows)
    snare_rooms(rows)
    for p in patterns:
        p.place_speeds()
    return [p.rows for p in patterns]


# Instruments -------------------------------------------------------------------

def zones(make, lowest, highest, span=12):
    """One sample per `span` semitones, each made for its lowest note."""
    out, home = [], lowest
    while home <= highest:
        out.append((home if out else 1, make(home, span + 2)))
        home += span
    return out


def held(points, sustain=1):
    """A held voice's envelope: after the key off it falls to zero over
    RELEASE_TICKS, a few 64ths a tick."""
    frame, value = points[sustain]
    return Envelope(points[:sustain + 1] + [(frame + RELEASE_TICKS, 0)], sustain=sustain)


def instruments():
    drum = lambda sample: [(1, sample)]  # noqa: E731
    pad_volume = Envelope([(0, 0), (24, 52), (40, 44), (64, 50), (88, 42)], loop=(2, 4))
    pad_panning = Envelope([(0, 32), (48, 25), (96, 39), (144, 32)], loop=(0, 3))
    lead_volume = held([(0, 64), (6, 60)])
    plucks = [[] for _ in BASS_PLUCKS]
    for home in range(BASS_LOWEST, N("C-4") + 1, 6):
        for k, sample in enumerate(s.bass_plucks(home, 8)):
            plucks[k].append((home if plucks[k] else 1, sample))
    lowest_lead, highest_lead = N("G#4"), N("G-6")
    out = [
        Instrument("kick", [(1, s.kick()), (N(KICK_SHORT), s.kick("kick short", 0.09, 0.015, 0.02, KICK_SHORT)),
                            (N(KICK_MEDIUM), s.kick("kick medium", 0.28, 0.03, 0.07, KICK_MEDIUM))]),
        Instrument("snare", drum(s.snare())),
        Instrument("hat", drum(s.hat())),
        Instrument("bass", zones(lambda h, span: s.bass_held(h, span), BASS_LOWEST, N("C-4"), span=6),
                   held([(0, 64), (1, 63)])),
        Instrument("pad", [(1, s.pad_zone(N("G-3"), 14))], pad_volume, pad_panning,
                   vibrato=(0, 60, 3, 6), fadeout=600),
        # A phrase keeps the zone its first note picks as it glides, so each
        # zone is made for notes far above its home.
        Instrument("lead", zones(lambda h, _: s.lead_zone(h, LEAD_REACH, 0x40), lowest_lead, highest_lead, span=6),
                   lead_volume, vibrato=(0, 40, 4, 14)),
        Instrument("pluck", zones(s.pluck_zone, N("A-4"), N("B-6"))),
        Instrument("crash", drum(s.crash())),
        Instrument("riser", drum(s.riser_noise()),
                   Envelope([(0, 24), (30, 64), (60, 64)], sustain=2), fadeout=1600),
        Instrument("lead octave", zones(lambda h, _: s.lead_octave_zone(h, LEAD_REACH, 0xF0), lowest_lead + 12,
                                        highest_lead + 12, span=6), lead_volume, vibrato=(0, 40, 4, 14)),
    ]
    out += [Instrument("bass %d" % ticks, zone) for ticks, zone in zip((4, 8, 12), plucks)]
    out += [
        Instrument("bell", zones(s.bell_zone, N("G-4"), N("D-6"))),
        Instrument("tom", drum(s.tom())),
        Instrument("chip", [(1, s.chip_zone(N("D-5"), 18))], held([(0, 64), (4, 60)]), fadeout=400),
        Instrument("riser sweep", drum(s.sweep_tone()), held([(0, 40), (16, 64)])),
        Instrument("room", [(1, s.room("room left", 61, ROOMS[0][1])),
                            (N(ROOMS[1][1]), s.room("room right", 62, ROOMS[1][1]))]),
    ]
    return out


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "assets")
    patterns = compose()
    module = module_bytes("Lanterns Brackenridge", CHANNELS, list(range(POSITIONS)), patterns,
                          instruments(), tempo=4, bpm=104)
    with open(os.path.join(out, "song.xm"), "wb") as f:
        f.write(module)


if __name__ == "__main__":
    main()
