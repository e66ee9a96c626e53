"""Writes an XM 0x0104 module from plain Python records: packed patterns,
instruments with envelopes, autovibrato and several samples, and
delta-coded 8-bit or 16-bit sample data; and reads one back into the same
records.  make_song_xm.py writes the song with it, song_report.py reads it."""

import struct

LOOP_NONE, LOOP_FORWARD, LOOP_PING_PONG = 0, 1, 2
KEY_OFF = 97


class Sample:
    def __init__(self, name, values, bits, loop_start=0, loop_length=0, loop=LOOP_NONE,
                 volume=64, panning=128, relative_note=0, finetune=0):
        self.name, self.values, self.bits = name, values, bits
        self.loop_start, self.loop_length, self.loop = loop_start, loop_length, loop
        self.volume, self.panning = volume, panning
        self.relative_note, self.finetune = relative_note, finetune


class Instrument:
    """`zones` is a list of (first note, Sample), lowest first: a note plays
    the sample of the last zone that starts at or below it."""

    def __init__(self, name, zones, volume_envelope=None, panning_envelope=None,
                 vibrato=(0, 0, 0, 0), fadeout=0):
        self.name, self.zones = name, zones
        self.volume_envelope, self.panning_envelope = volume_envelope, panning_envelope
        self.vibrato, self.fadeout = vibrato, fadeout


class Envelope:
    def __init__(self, points, sustain=None, loop=None):
        self.points, self.sustain, self.loop = points, sustain, loop


def sample_bytes(sample):
    """Delta-coded data, with a running sum that wraps as the loader expects."""
    out = bytearray()
    previous = 0
    if sample.bits == 8:
        for v in sample.values:
            out.append((v - previous) & 0xFF)
            previous = v
    else:
        for v in sample.values:
            out += struct.pack("<H", (v - previous) & 0xFFFF)
            previous = v
    return bytes(out)


def envelope_fields(envelope):
    """48 bytes of points, then count, sustain, loop start, loop end, type."""
    if envelope is None:
        return bytes(48), (0, 0, 0, 0, 0)
    points = b"".join(struct.pack("<HH", f, v) for f, v in envelope.points).ljust(48, b"\0")
    kind = 1
    sustain = loop_start = loop_end = 0
    if envelope.sustain is not None:
        kind |= 2
        sustain = envelope.sustain
    if envelope.loop is not None:
        kind |= 4
        loop_start, loop_end = envelope.loop
    return points, (len(envelope.points), sustain, loop_start, loop_end, kind)


def instrument_bytes(instrument):
    zones = instrument.zones
    note_map = bytearray()
    for note in range(1, 97):
        index = 0
        for i, (first, _) in enumerate(zones):
            if note >= first:
                index = i
        note_map.append(index)
    volume_points, volume_fields = envelope_fields(instrument.volume_envelope)
    panning_points, panning_fields = envelope_fields(instrument.panning_envelope)
    head = struct.pack("<I", 263) + instrument.name.encode().ljust(22, b"\0")[:22] + b"\0"
    head += struct.pack("<HI", len(zones), 40) + bytes(note_map) + volume_points + panning_points
    head += bytes((volume_fields[0], panning_fields[0], volume_fields[1], volume_fields[2],
                   volume_fields[3], panning_fields[1], panning_fields[2], panning_fields[3],
                   volume_fields[4], panning_fields[4]))
    head += bytes(instrument.vibrato) + struct.pack("<H", instrument.fadeout)
    head = head.ljust(263, b"\0")
    headers = b""
    data = b""
    for _, sample in zones:
        width = 2 if sample.bits == 16 else 1
        headers += struct.pack("<IIIBbBBbB", len(sample.values) * width, sample.loop_start * width,
                               sample.loop_length * width, sample.volume, sample.finetune,
                               sample.loop | (0x10 if width == 2 else 0), sample.panning,
                               sample.relative_note, 0)
        headers += sample.name.encode().ljust(22, b"\0")[:22]
        data += sample_bytes(sample)
    return head + headers + data


def pattern_bytes(rows):
    """`rows` is a list of rows, each a list of [note, instrument, volume,
    effect, param] cells; cells are packed with a mask byte unless all five
    fields are present."""
    packed = bytearray()
    for row in rows:
        for cell in row:
            if all(cell):
                packed += bytes(cell)
                continue
            mask = 0x80
            for bit, value in enumerate(cell):
                if value:
                    mask |= 1 << bit
            packed.append(mask)
            packed += bytes(v for v in cell if v)
    return struct.pack("<IBHH", 9, 0, len(rows), len(packed)) + bytes(packed)


def module_bytes(name, channels, orders, patterns, instruments, tempo, bpm, restart=0):
    out = b"Extended Module: " + name.encode().ljust(20, b"\0")[:20] + b"\x1a"
    out += b"make_song_xm".ljust(20, b"\0") + struct.pack("<H", 0x0104)
    out += struct.pack("<IHHHHHHHH", 20 + 256, len(orders), restart, channels, len(patterns),
                       len(instruments), 1, tempo, bpm)  # flags bit 0: linear frequencies
    out += bytes(orders).ljust(256, b"\0")
    out += b"".join(pattern_bytes(p) for p in patterns)
    out += b"".join(instrument_bytes(i) for i in instruments)
    return out


class Module:
    def __init__(self, name, channels, orders, patterns, instruments, tempo, bpm, restart=0):
        self.name, self.channels, self.orders, self.patterns = name, channels, orders, patterns
        self.instruments, self.tempo, self.bpm, self.restart = instruments, tempo, bpm, restart


def read_envelope(data, at, fields):
    count, sustain, loop_start, loop_end, kind = fields
    if not kind & 1:
        return None
    points = [struct.unpack_from("<HH", data, at + 4 * i) for i in range(min(count, 12))]
    return Envelope(points, sustain if kind & 2 else None, (loop_start, loop_end) if kind & 4 else None)


def sample_values(data, at, count, bits):
    """Undoes the delta coding: the running sum, wrapped to the sample's width."""
    values, total = [], 0
    if bits == 16:
        for (delta,) in struct.iter_unpack("<h", data[at:at + 2 * count]):
            total = (total + delta + 32768) % 65536 - 32768
            values.append(total)
    else:
        for delta in data[at:at + count]:
            total = (total + delta + 128) % 256 - 128
            values.append(total)
    return values


def read_module(data):
    """The records module_bytes writes, read back from an XM file's bytes: what
    the song's tools measure the module by."""
    name = data[17:37].split(b"\0")[0].decode("latin-1")
    header_size, = struct.unpack_from("<I", data, 60)
    length, restart, channels, pattern_count, instrument_count, _, tempo, bpm = \
        struct.unpack_from("<HHHHHHHH", data, 64)
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
        cells += [[0] * 5 for _ in range(rows * channels - len(cells))]
        patterns.append([cells[r * channels:(r + 1) * channels] for r in range(rows)])
    instruments = []
    for _ in range(instrument_count):
        size, = struct.unpack_from("<I", data, at)
        instrument_name = data[at + 4:at + 26].split(b"\0")[0].decode("latin-1")
        count, = struct.unpack_from("<H", data, at + 27)
        note_map, volume_envelope, panning_envelope, vibrato, fadeout = [], None, None, (0, 0, 0, 0), 0
        if count:
            note_map = list(data[at + 33:at + 129])
            fields = data[at + 225:at + 235]
            volume_envelope = read_envelope(data, at + 129, (fields[0], fields[2], fields[3], fields[4], fields[8]))
            panning_envelope = read_envelope(data, at + 177, (fields[1], fields[5], fields[6], fields[7], fields[9]))
            vibrato = tuple(data[at + 235:at + 239])
            fadeout, = struct.unpack_from("<H", data, at + 239)
        at += size
        headers = []
        for _ in range(count):
            byte_length, loop_start, loop_length, volume, finetune, kind, panning, relative = \
                struct.unpack_from("<IIIBbBBb", data, at)
            sample_name = data[at + 18:at + 40].split(b"\0")[0].decode("latin-1")
            headers.append((sample_name, byte_length, loop_start, loop_length, volume, finetune, kind, panning,
                            relative))
            at += 40
        zones = []
        for index, (sample_name, byte_length, loop_start, loop_length, volume, finetune, kind, panning,
                    relative) in enumerate(headers):
            width = 2 if kind & 0x10 else 1
            values = sample_values(data, at, byte_length // width, 8 * width)
            at += byte_length
            first = next((note for note, i in enumerate(note_map, 1) if i == index), 97)
            zones.append((first, Sample(sample_name, values, 8 * width, loop_start // width, loop_length // width,
                                        kind & 3, volume, panning, relative, finetune)))
        instruments.append(Instrument(instrument_name, zones, volume_envelope, panning_envelope, vibrato, fadeout))
    return Module(name, channels, orders, patterns, instruments, tempo, bpm, restart)
