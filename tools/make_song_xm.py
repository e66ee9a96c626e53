#!/usr/bin/env python3
"""Writes assets/song.xm, the show's music: "Lanterns over Brackenridge", a
shuffle in A minor at 104 BPM.  22 order positions of 64-row patterns, two
bars of 4/4 each; rows run at 4 and 2 ticks alternately, two rows each,
which gives the swung sixteenths.  The sections follow the show's scenes,
and the rows where the picture fades out (row 40 before each cut) carry a
fill, a riser or a break so that sound and picture turn together.
Deterministic: the same bytes on every run."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import song_samples as s  # noqa: E402
from xm_file import KEY_OFF, Envelope, Instrument, module_bytes  # noqa: E402

ROWS = 64
CHANNELS = 11
POSITIONS = 22
N = s.note_number

# Instruments, 1-based as the cells name them.
KICK, SNARE, HAT, BASS, PAD, LEAD, PLUCK, CRASH, RISER, LEAD_DOUBLE = range(1, 11)
# Channels; the lead plays on two, a little apart in pitch and panned apart.
CK, CS, CH, CB, CP1, CP2, CP3, CL, CA, CF, CD = range(CHANNELS)
LEADS = ((CL, LEAD), (CD, LEAD_DOUBLE))
PADS = (CP1, CP2, CP3)

# Effect letters as XM stores them.
ARPEGGIO, PORTA_UP, PORTA_DOWN, TONE_PORTA, VIBRATO = 0x0, 0x1, 0x2, 0x3, 0x4
SET_PANNING, SAMPLE_OFFSET, VOLUME_SLIDE, SET_VOLUME, EXTENDED, SPEED = 0x8, 0x9, 0xA, 0xC, 0xE, 0xF
KEY_OFF_AT, MULTI_RETRIG = 20, 27  # K, R
RETRIG, NOTE_CUT, NOTE_DELAY = 0x90, 0xC0, 0xD0  # E9x, ECx, EDx high nibbles


def vol(v):
    return 0x10 + v


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

PROGRESSION = [
    ("Am", "F"), ("C", "G"),
    ("Am", "F"), ("C", "G"), ("Am", "F"), ("G", "E"),
    ("Dm", "Am"), ("F", "E"),
    ("Am", "F"), ("C", "G"), ("Am", "F"), ("G", "E"),
    ("F", "G"), ("Em", "Am"), ("Dm", "G"), ("E", "E"),
    ("Am", "F"), ("C", "G"), ("Am", "F"), ("G", "E"),
    ("F", "G"), ("E", "Am"),
]

# Lead phrases, one string per position: NOTE:rows, "~" slides into the
# note, "---" keys off, "..." holds.
MELODY = {
    2: "E-5:8 D-5:4 C-5:4 D-5:8 E-5:8 C-5:12 A-4:4 C-5:8 F-5:8",
    3: "E-5:16 G-5:8 E-5:8 D-5:24 B-4:4 D-5:4",
    4: "E-5:8 D-5:4 C-5:4 D-5:8 E-5:8 ~A-5:16 G-5:8 F-5:8",
    5: "G-5:8 F-5:4 E-5:4 D-5:8 B-4:8 B-4:8 G#4:16 ---:8",
    6: "---:8 D-5:8 F-5:8 E-5:8 C-5:24 ---:8",
    7: "A-4:16 C-5:16 B-4:8 ---:24",
    8: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 A-5:12 G-5:4 F-5:8 E-5:8",
    9: "G-5:4 E-5:4 C-5:4 E-5:4 G-5:8 C-6:8 B-5:16 A-5:4 G-5:4 D-5:8",
    10: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 ~D-6:12 C-6:4 A-5:8 F-5:8",
    11: "G-5:8 B-5:8 D-6:8 B-5:8 B-5:8 ---:16 E-5:2 G#5:2 B-5:2 D-6:2",
    12: "C-5:8 F-5:8 A-5:12 G-5:4 G-5:16 D-5:8 G-5:8",
    13: "B-4:8 E-5:8 G-5:8 E-5:8 A-5:24 E-5:8",
    14: "F-5:8 A-5:8 ~D-6:12 C-6:4 B-5:16 G-5:8 D-5:8",
    15: "E-5:8 G#5:8 B-5:24 ---:24",
    16: "E-6:8 D-6:4 C-6:4 D-6:8 E-6:8 C-6:12 A-5:4 C-6:8 F-6:8",
    17: "E-6:16 G-6:8 E-6:8 D-6:24 B-5:4 D-6:4",
    18: "A-5:4 G-5:4 E-5:4 G-5:4 A-5:8 C-6:8 ~D-6:12 C-6:4 A-5:8 F-5:8",
    19: "G-5:8 B-5:8 D-6:8 B-5:8 ~E-6:8 ---:24",
    20: "A-5:16 G-5:8 F-5:8 G-5:16 D-5:16",
    21: "E-5:8 G#5:8 B-5:16 A-5:12 ---:20",
}

# Levels, as volume column values: the lead on top, the plucks well under
# it, the bass under the lead (its figures are scaled by BASS_LEVEL).
LEAD_VOLUME = 0x30
PAD_VOLUME = 0x20
PLUCK_VOLUME = 0x14
BASS_LEVEL = 0.66


def parse_phrase(text):
    events, row = [], 0
    for token in text.split():
        name, length = token.split(":")
        slide = name.startswith("~")
        events.append((row, name.lstrip("~"), int(length), slide))
        row += int(length)
    assert row == ROWS, (text, row)
    return events


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

    def place_speeds(self):
        """4 ticks on rows 0-1 of every four, 2 on rows 2-3: the shuffle.
        The speed goes into the first channel with a free effect slot."""
        for row in range(0, ROWS, 2):
            channel = next(c for c in range(CHANNELS) if self.effect_free(row, c))
            self.put(row, channel, effect=SPEED, param=4 if row % 4 == 0 else 2)


def chord_at(position, row):
    return PROGRESSION[position][row // 32]


def ticks_of(row):
    return 4 if row % 4 < 2 else 2


# Drums -------------------------------------------------------------------------

def kicks(p, rows, volume=0x3A):
    for row in rows:
        p.put(row, CK, "C-4", KICK, vol(volume))


def hats(p, rows, open_rows=(), loud=0x2E, soft=0x1C):
    for row in rows:
        level = loud if row % 8 == 4 else soft if row % 4 else loud - 6
        if row in open_rows:
            p.put(row, CH, "C-4", HAT, vol(loud + 4))
        else:
            # Closed hats: the open hat cut short after a tick.
            p.put(row, CH, "C-4", HAT, vol(level), EXTENDED, NOTE_CUT | 1)


def backbeat(p, ghosts=True, volume=0x3A):
    for row in (8, 24, 40, 56):
        p.put(row, CS, "C-4", SNARE, vol(volume))
    if ghosts:
        # The snare's tail alone, from a sample offset, as a ghost note.
        for row in (14, 46):
            p.put(row, CS, "C-4", SNARE, vol(0x14), SAMPLE_OFFSET, 0x06)
        p.put(30, CS, "C-4", SNARE, vol(0x12), EXTENDED, NOTE_DELAY | 1)


def groove(p, busy=False, last_bar=True, kick_volume=0x3A, snare_volume=0x3A):
    end = ROWS if last_bar else 40
    kicks(p, [r for r in range(0, end, 8)] + ([30] if busy else []), kick_volume)
    hat_rows = [r for r in range(0, end, 2 if busy else 4)]
    hats(p, hat_rows, open_rows=(28, 60) if busy else (60,))
    backbeat(p, volume=snare_volume)
    if not last_bar:
        p.clear(40, (CS, CH, CK))


def crash(p, row=0, volume=0x30):
    p.put(row, CF, "C-4", CRASH, vol(volume))


def snare_build(p, start=0x30):
    """Snare from row 40, doubling its rate every eight rows, louder as it goes."""
    for i, row in enumerate((40, 44, 48, 52)):
        p.put(row, CS, "C-4", SNARE, vol(start + 4 * i))
    for i, row in enumerate((56, 58, 60, 62)):
        p.put(row, CS, "C-4", SNARE, vol(min(0x40, start + 0x12 + 4 * i)), EXTENDED,
              RETRIG | (2 if row % 4 == 0 else 1))


def snare_roll(p, first_row=48, volume=0x24):
    """One note, retriggered every tick and louder each time."""
    p.put(first_row, CS, "C-4", SNARE, vol(volume), MULTI_RETRIG, 0xA1)
    for row in range(first_row + 1, ROWS):
        p.put(row, CS, effect=MULTI_RETRIG, param=0x00)


def tom_run(p, rows, notes, volume=0x3C, slide=0x08):
    # The kick tuned up and sliding down: toms.
    for row, note in zip(rows, notes):
        p.put(row, CK, note, KICK, vol(volume), PORTA_DOWN, slide)


def riser(p, start=40, speed=0x04, volume=0x30):
    p.put(start, CF, "C-3", RISER, vol(volume), PORTA_UP, speed)
    for row in range(start + 1, ROWS):
        p.put(row, CF, volume=0x71, effect=PORTA_UP, param=speed)


# Harmony -----------------------------------------------------------------------

PAD_PANNING = (0x08, 0x80, 0xF8)


def pads(p, position, volume=None, rows=(0, 32), fresh=()):
    """The chord on the three pad channels, spread left to right.  A chord
    change glides the sounding voices (a new note would cut the old one
    straight to zero); only rows in `fresh`, where the pads were silent,
    start notes.  `volume` sets the pads' level on the first row."""
    for row in rows:
        notes, _ = CHORDS[chord_at(position, row)]
        for channel, note, pan in zip(PADS, notes, PAD_PANNING):
            if row in fresh:
                p.put(row, channel, note, PAD, vol(volume or PAD_VOLUME), SET_PANNING, pan)
            else:
                p.put(row, channel, note, 0, 0xF6)
                if volume is not None and row == rows[0]:
                    p.put(row, channel, effect=SET_VOLUME, param=volume)


def pad_slide(p, first_row, last_row, param=0x10, every=1):
    for row in range(first_row, last_row, every):
        for channel in PADS:
            if p.effect_free(row, channel):
                p.put(row, channel, effect=VOLUME_SLIDE, param=param)


def pads_off(p, row):
    for channel in PADS:
        p.put(row, channel, KEY_OFF, 0)


def bass_line(p, position, style, first_row=0, last_row=ROWS, level=BASS_LEVEL):
    """The bass, each note released (key off on the row before the next) so
    that no note is cut off mid-wave by the next one."""
    notes = []
    for bar in (0, 32):
        root = N(CHORDS[chord_at(position, bar)][1])
        if style == "pulse":
            figure = ((0, 0, 0x3C), (4, 0, 0x30), (6, 12, 0x2C), (8, 0, 0x3C), (12, 0, 0x30),
                      (14, 12, 0x2C), (16, 0, 0x3C), (20, 0, 0x30), (22, 7, 0x30), (24, 0, 0x3C),
                      (28, 12, 0x34), (30, 7, 0x2C))
        elif style == "half":
            figure = ((0, 0, 0x38), (12, 0, 0x24), (20, 0, 0x34), (24, 12, 0x28), (28, 7, 0x24))
        else:  # long notes that breathe: key off before the next
            figure = ((0, 0, 0x38), (16, 12, 0x20), (20, 0, 0x30))
        notes += [(bar + row, root + interval, level_ * level) for row, interval, level_ in figure
                  if first_row <= bar + row < last_row]
        if style == "long" and first_row <= bar + 8 and bar + 28 < last_row:
            for row in range(bar + 8, bar + 16):
                p.put(row, CB, volume=0x61)  # the held note sinks before it breathes again
            p.put(bar + 28, CB, KEY_OFF, 0)
    for i, (row, note, volume) in enumerate(notes):
        p.put(row, CB, note, BASS, vol(round(volume)))
        following = notes[i + 1][0] if i + 1 < len(notes) else last_row
        if style != "long" and following - row >= 2 and following < ROWS:
            # Key off a few ticks before the next note: the release ends near zero.
            off = following - 1
            if ticks_of(off) == 4:
                p.put(off, CB, effect=KEY_OFF_AT, param=1)
            else:
                p.put(off, CB, KEY_OFF, 0)


def broken_chords(p, position, volume=PLUCK_VOLUME, first_row=0, last_row=ROWS, step=2):
    """Chord tones rolling up and down in swung sixteenths, above the lead."""
    order = (0, 1, 2, 3, 2, 1)
    for i, row in enumerate(range(first_row, last_row, step)):
        notes, _ = CHORDS[chord_at(position, row)]
        tones = [N(n) + 24 for n in notes] + [N(notes[0]) + 36]
        p.put(row, CA, tones[order[i % len(order)]], PLUCK, vol(volume - (0 if row % 8 == 0 else 4)))


def chip_arpeggio(p, position, volume=PLUCK_VOLUME, last_row=ROWS):
    """A held chord root with the tracker arpeggio: minor or major."""
    for row in range(0, last_row):
        name = chord_at(position, row)
        param = 0x47 if name in MAJOR else 0x37
        if row % 4 == 0:
            p.put(row, CA, N(CHORDS[name][1]) + 36, PLUCK, vol(volume), ARPEGGIO, param)
        else:
            p.put(row, CA, effect=ARPEGGIO, param=param)


# Melody ------------------------------------------------------------------------

def lead(p, position, volume=LEAD_VOLUME, volume_column_vibrato=False, echo=False):
    events = parse_phrase(MELODY[position])
    for i, (row, name, length, slide) in enumerate(events):
        if name == "...":
            continue
        for channel, instrument in LEADS:
            if name == "---":
                p.put(row, channel, KEY_OFF, 0)
                continue
            if slide:
                p.put(row, channel, name, 0, vol(volume), TONE_PORTA, 0x30)
            else:
                p.put(row, channel, name, instrument, vol(volume))
            if length >= 12:
                for r in range(row + 6, row + length):
                    if volume_column_vibrato:
                        p.put(r, channel, volume=0xA5 if r == row + 6 else 0xB3)
                    else:
                        p.put(r, channel, effect=VIBRATO, param=0x54)
        if name == "---":
            continue
        if echo and row + 6 < ROWS:
            # The phrase again, quieter and to the left: a tracker echo.  The
            # panning goes with every note, as a new note resets it.
            p.put(row + 6, CA, name, LEAD, vol(volume // 3), SET_PANNING, 0x20)
            if row + 8 < ROWS and not p.rows[row + 8][CA][2]:
                p.put(row + 8, CA, volume=0x82)  # a fine step down: the echo fades
            later = [e for e in events[i + 1:] if e[1] not in ("---", "...")]
            if later and abs(N(later[0][1]) - N(name)) in (1, 11, 13) and later[0][0] < row + 6 + 16:
                # The echo stops before it rubs a semitone against the next note.
                p.put(later[0][0], CA, KEY_OFF, 0)


# Sections ----------------------------------------------------------------------

def intro(position):
    p = Pattern()
    if position == 0:
        # From near silence: the pads swell, the bass, hats and plucks come in.
        pads(p, position, volume=0x04, fresh=(0,))
        pad_slide(p, 1, 40, 0x10, every=4)
        broken_chords(p, position, volume=0x0C, first_row=32, step=4)
        hats(p, range(32, ROWS, 4), loud=0x1C, soft=0x12)
        p.put(32, CB, "F-2", BASS, vol(0x08))
        for row in range(33, ROWS, 2):
            p.put(row, CB, volume=0x71)
        kicks(p, (48, 56), volume=0x24)
    else:
        pads(p, position)
        broken_chords(p, position, volume=0x10, last_row=40)
        kicks(p, range(0, 40, 8), volume=0x30)
        hats(p, range(0, 40, 4))
        bass_line(p, position, "long", last_row=40)
        # Fill: quarter kicks, the snare from eighths to a roll, the riser.
        riser(p)
        kicks(p, range(40, ROWS, 8), volume=0x34)
        kicks(p, (60,), volume=0x38)
        snare_build(p)
        bass_line(p, position, "pulse", first_row=40, level=BASS_LEVEL * 0.8)
        hats(p, range(40, ROWS, 2), loud=0x24, soft=0x18)
        pad_slide(p, 40, ROWS, 0x10, every=4)
    return p


def main_theme(position):
    p = Pattern()
    if position == 2:
        crash(p)
    turn = position == 5
    groove(p, last_bar=not turn)
    bass_line(p, position, "pulse", last_row=48 if turn else ROWS)
    pads(p, position, volume=0x1C if position == 2 else None)
    broken_chords(p, position, last_row=40 if turn else ROWS)
    lead(p, position)
    if turn:
        # Falling into the breakdown: toms down the kit, the bass diving
        # under them, the pads sinking.
        tom_run(p, (40, 44, 48, 52, 54), ("A-4", "F-4", "D-4", "C-4", "A-3"), volume=0x34)
        hats(p, (40, 44), loud=0x24)
        p.put(48, CB, "E-2", BASS, vol(round(0x38 * BASS_LEVEL)), PORTA_DOWN, 0x06)
        for row in range(49, 56):
            p.put(row, CB, effect=PORTA_DOWN, param=0x06)
        p.put(56, CB, KEY_OFF, 0)
        pad_slide(p, 44, ROWS, 0x01, every=2)
    return p


def breakdown(position):
    p = Pattern()
    if position == 6:
        crash(p, volume=0x20)
    pads(p, position, volume=0x14 if position == 6 else None)
    bass_line(p, position, "long", last_row=ROWS if position == 6 else 40, level=0.5)
    lead(p, position, volume=0x26, echo=True)
    hats(p, range(4, ROWS if position == 6 else 40, 8), loud=0x18)
    if position == 7:
        # Fill: the kicks double, a rising snare roll, the riser, the bass
        # pulsing in eighths, the pads swelling back.
        kicks(p, range(32, 48, 8), volume=0x1C)
        kicks(p, range(48, 56, 4), volume=0x22)
        kicks(p, range(56, ROWS, 2), volume=0x28)
        riser(p, speed=0x06, volume=0x14)
        snare_roll(p, 48, 0x16)
        p.put(40, CS, "C-4", SNARE, vol(0x1C))
        p.put(44, CS, "C-4", SNARE, vol(0x20))
        bass_line(p, position, "pulse", first_row=40, level=0.4)
        hats(p, range(40, ROWS, 2), loud=0x24, soft=0x18)
        pad_slide(p, 40, ROWS, 0x10, every=4)
    return p


def wave(position):
    p = Pattern()
    if position == 8:
        crash(p)
    turn = position == 11
    groove(p, busy=True, last_bar=not turn)
    bass_line(p, position, "pulse", last_row=40 if turn else ROWS)
    pads(p, position, volume=0x1E if position == 8 else None)
    chip_arpeggio(p, position, last_row=40 if turn else ROWS)
    lead(p, position)
    if turn:
        # The break: one stab, then silence until the pickup.
        crash(p, 40, 0x1C)
        kicks(p, (40,))
        pads_off(p, 42)
        p.put(40, CA, KEY_OFF, 0)
        for row, level in zip((56, 58, 60, 62), (0x20, 0x28, 0x30, 0x38)):
            p.put(row, CS, "C-4", SNARE, vol(level), EXTENDED, RETRIG | (2 if row % 4 == 0 else 1))
    return p


def greetings(position):
    p = Pattern()
    if position == 12:
        crash(p, volume=0x28)
    turn = position == 15
    end = 40 if turn else ROWS
    kicks(p, [r for r in (0, 20, 22, 32, 52, 54) if r < end])
    for row in (16, 48):
        if row < end:
            p.put(row, CS, "C-4", SNARE, vol(0x40))
    hats(p, range(0, end, 4))
    bass_line(p, position, "half", last_row=56 if turn else ROWS)
    pads(p, position, volume=0x1E if position == 12 else None, fresh=(0,) if position == 12 else ())
    lead(p, position, volume_column_vibrato=True)
    # Plucks thrown left and right: the note sets the level, the row after
    # it the panning (a panning on the note's own row would leave it at 64).
    for i, row in enumerate(range(2, end, 8)):
        notes, _ = CHORDS[chord_at(position, row)]
        p.put(row, CA, N(notes[i % 3]) + 24, PLUCK, vol(PLUCK_VOLUME))
        p.put(row + 1, CA, volume=0xC3 if i % 2 else 0xCC)
        p.put(row + 4, CA, volume=0xE4 if i % 2 else 0xD4)
    if turn:
        # Fill: toms round the kit over open eighth hats, snare flams, riser.
        riser(p)
        tom_run(p, (40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62),
                ("C-5", "A-4", "C-5", "A-4", "G-4", "E-4", "G-4", "E-4", "D-4", "C-4", "D-4", "C-4"),
                volume=0x3A, slide=0x06)
        hats(p, range(40, ROWS, 4), open_rows=tuple(range(40, ROWS, 4)), loud=0x28)
        for row, level in zip((44, 52, 56, 60, 62), (0x34, 0x38, 0x3C, 0x40, 0x40)):
            p.put(row, CS, "C-4", SNARE, vol(level), EXTENDED, RETRIG | 1)
    return p


def climax(position):
    p = Pattern()
    if position == 16:
        crash(p, volume=0x38)
    turn = position == 19
    groove(p, busy=True, last_bar=not turn, kick_volume=0x3C, snare_volume=0x36)
    bass_line(p, position, "pulse", last_row=ROWS, level=BASS_LEVEL * 1.1)
    pads(p, position, volume=0x34 if position == 16 else None)
    if position < 18:
        broken_chords(p, position, volume=PLUCK_VOLUME + 2, last_row=40 if turn else ROWS)
    else:
        chip_arpeggio(p, position, volume=PLUCK_VOLUME + 2, last_row=40 if turn else ROWS)
    lead(p, position, volume_column_vibrato=position >= 18)
    hats(p, range(2, 40 if turn else ROWS, 8), open_rows=tuple(range(2, ROWS, 8)), loud=0x20)
    if turn:
        # Fill: the band in unison hits, then a snare roll under the riser.
        riser(p, speed=0x06, volume=0x34)
        for row in (40, 44, 46):
            p.put(row, CK, "C-4", KICK, vol(0x40))
            p.put(row, CS, "C-4", SNARE, vol(0x3C))
        kicks(p, range(48, ROWS, 4), volume=0x40)
        snare_roll(p, 48, 0x34)
        hats(p, range(40, ROWS, 2), loud=0x2C, soft=0x20)
    return p


def outro(position):
    p = Pattern()
    if position == 20:
        crash(p, volume=0x38)
        kicks(p, range(0, ROWS, 8), volume=0x34)
        hats(p, range(0, ROWS, 4), loud=0x20)
        backbeat(p, ghosts=False, volume=0x3A)
        bass_line(p, position, "half")
        pads(p, position, volume=PAD_VOLUME)
        broken_chords(p, position, volume=PLUCK_VOLUME - 2)
        lead(p, position, volume_column_vibrato=True)
    else:
        kicks(p, range(0, 32, 8), volume=0x30)
        hats(p, range(0, 32, 4), loud=0x1C)
        bass_line(p, position, "long", last_row=32)
        pads(p, position)
        broken_chords(p, position, volume=PLUCK_VOLUME - 4, last_row=32, step=4)
        # Held on E, the song resolves on A minor for its last half, everything
        # fading out under the released lead before the show ends.
        p.put(32, CB, "A-2", BASS, vol(round(0x38 * BASS_LEVEL)))
        p.put(32, CK, "C-4", KICK, vol(0x30))
        crash(p, 32, 0x20)
        pad_slide(p, 44, 60, 0x01)
        for row in range(44, 60):
            if p.effect_free(row, CB):
                p.put(row, CB, effect=VOLUME_SLIDE, param=0x01)
        pads_off(p, 60)
        p.put(60, CB, KEY_OFF, 0)
        lead(p, position, volume=0x3A, volume_column_vibrato=True)
    return p


def compose():
    sections = [intro] * 2 + [main_theme] * 4 + [breakdown] * 2 + [wave] * 4 + \
        [greetings] * 4 + [climax] * 4 + [outro] * 2
    patterns = []
    for position, make in enumerate(sections):
        p = make(position)
        p.place_speeds()
        patterns.append(p.rows)
    return patterns


# Instruments -------------------------------------------------------------------

def zones(make, lowest, highest, span=12):
    """One sample per `span` semitones, each made for its lowest note."""
    out, home = [], lowest
    while home <= highest:
        out.append((home if out else 1, make(home, span + 2)))
        home += span
    return out


def instruments():
    drum = lambda sample: [(1, sample)]  # noqa: E731
    pad_volume = Envelope([(0, 0), (24, 52), (40, 44), (64, 50), (88, 42)], loop=(2, 4))
    lead_volume = Envelope([(0, 64), (6, 58), (16, 52), (40, 46)], sustain=2)
    pad_panning = Envelope([(0, 32), (48, 22), (96, 42), (144, 32)], loop=(0, 3))
    return [
        Instrument("kick", drum(s.kick())),
        Instrument("snare", drum(s.snare())),
        Instrument("hat", drum(s.hat())),
        Instrument("bass", zones(lambda h, span: s.bass_zone(h), N("D-2"), N("C-4")),
                   # Released over three ticks: a key off ends the note near zero.
                   Envelope([(0, 64), (4, 54), (12, 46), (15, 0)], sustain=2), fadeout=2400),
        Instrument("pad", [(1, s.pad_zone(N("G-3"), 14))], pad_volume, pad_panning,
                   vibrato=(0, 60, 3, 6), fadeout=600),
        Instrument("lead", zones(lambda h, span: s.lead_zone(h, span, 40, 0), N("G#4"), N("G-6")),
                   lead_volume, vibrato=(0, 40, 4, 14), fadeout=1800),
        Instrument("pluck", zones(s.pluck_zone, N("A-4"), N("B-6")),
                   Envelope([(0, 64), (3, 40), (10, 22), (30, 0)])),
        Instrument("crash", drum(s.crash())),
        Instrument("riser", drum(s.riser_noise()),
                   Envelope([(0, 24), (30, 64), (60, 64)], sustain=2), fadeout=4000),
        Instrument("lead 2", zones(lambda h, span: s.lead_zone(h, span, 216, 8), N("G#4"), N("G-6")),
                   lead_volume, vibrato=(0, 40, 4, 14), fadeout=1800),
    ]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "assets")
    patterns = compose()
    module = module_bytes("Lanterns Brackenridge", CHANNELS, list(range(POSITIONS)), patterns,
                          instruments(), tempo=4, bpm=104)
    with open(os.path.join(out, "song.xm"), "wb") as f:
        f.write(module)


if __name__ == "__main__":
    main()
