#!/usr/bin/env python3
"""Builds the two 8 x 16 font sheets of the intro from Linux console fonts
that Debian ships in console-setup-linux:

  console_font.bmp  code page 437, VGA-style glyphs for the boot log and its
                    block-character banner (printable ASCII and 176-223 only)
  screen_font.bmp   code page 850, Terminus glyphs for the text screens
                    (printable ASCII and the Latin letters and symbols)

Each sheet is 256 x 128 pixels, 1 bit per pixel, 32 cells of 8 x 16 per row,
code c at cell column c % 32 and cell row c // 32 counted from the top.  The
console fonts carry a Unicode table, so each code-page cell is looked up by
its Unicode character.  Usage: make_fonts.py OUTPUT_FOLDER"""

import gzip
import os
import struct
import sys

from bmp_writer import write_bmp

# Of the VGA 8 x 16 fonts, the FullGreek set is one that holds every shade
# and box-drawing glyph of code page 437 (Uni2 lacks the dark shade).
CONSOLE_SOURCE = "/usr/share/consolefonts/FullGreek-VGA16.psf.gz"
SCREEN_SOURCE = "/usr/share/consolefonts/Uni2-Terminus16.psf.gz"

CELL_WIDTH = 8
CELL_HEIGHT = 16
CELLS_PER_ROW = 32
SHEET_WIDTH = CELL_WIDTH * CELLS_PER_ROW
SHEET_HEIGHT = CELL_HEIGHT * 256 // CELLS_PER_ROW
BLACK_WHITE = [(0, 0, 0), (255, 255, 255)]

PSF1_MAGIC = b"\x36\x04"
PSF1_MODE_512 = 0x01
PSF1_MODE_HAS_TABLE = 0x02
PSF1_SEPARATOR = 0xFFFF
PSF1_SEQUENCE_START = 0xFFFE

# The banner is drawn with these; the VGA font's upper half block is one row
# short of half a cell, which leaves a seam, so the halves and the full block
# come from their geometric definition instead.
BLOCK_ELEMENTS = {
    0x2580: [0xFF] * 8 + [0x00] * 8,  # upper half
    0x2584: [0x00] * 8 + [0xFF] * 8,  # lower half
    0x2588: [0xFF] * 16,              # full block
    0x258C: [0xF0] * 16,              # left half
    0x2590: [0x0F] * 16,              # right half
}


def fail(message):
    sys.exit("make_fonts.py: " + message)


def read_psf1(path):
    """Returns {code point: 16 row bytes} from a gzipped PSF1 font with a
    Unicode table; multi-character sequences are skipped."""
    with gzip.open(path) as source:
        data = source.read()
    if len(data) < 4 or data[:2] != PSF1_MAGIC:
        fail("%s is not a PSF1 font" % path)
    mode, height = data[2], data[3]
    if height != CELL_HEIGHT or not mode & PSF1_MODE_HAS_TABLE:
        fail("%s is not an 8 x 16 font with a Unicode table" % path)
    count = 512 if mode & PSF1_MODE_512 else 256
    table = 4 + count * height
    if len(data) < table:
        fail("%s is cut short in its glyphs" % path)

    glyphs = {}
    position = table
    for index in range(count):
        bitmap = data[4 + index * height:4 + (index + 1) * height]
        in_sequences = False
        while True:
            if position + 2 > len(data):
                fail("%s is cut short in its Unicode table" % path)
            (code,) = struct.unpack_from("<H", data, position)
            position += 2
            if code == PSF1_SEPARATOR:
                break
            if code == PSF1_SEQUENCE_START:
                in_sequences = True
            elif not in_sequences:
                glyphs.setdefault(code, bitmap)
    return glyphs


def unicode_of(code, code_page):
    return ord(bytes([code]).decode(code_page))


def build_sheet(glyphs, code_page, filled_codes):
    """Returns the sheet as rows of 0/1 pixels, top row first."""
    rows = [[0] * SHEET_WIDTH for _ in range(SHEET_HEIGHT)]
    for code in filled_codes:
        character = unicode_of(code, code_page)
        bitmap = BLOCK_ELEMENTS.get(character) or glyphs.get(character)
        if bitmap is None:
            fail("no glyph for U+%04X (code %d of %s)" % (character, code, code_page))
        left = CELL_WIDTH * (code % CELLS_PER_ROW)
        top = CELL_HEIGHT * (code // CELLS_PER_ROW)
        for y, bits in enumerate(bitmap):
            for x in range(CELL_WIDTH):
                rows[top + y][left + x] = (bits >> (7 - x)) & 1
    return rows


def console_codes():
    return list(range(32, 127)) + list(range(176, 224))


def is_box_or_block(character):
    # Box drawing, block elements and geometric shapes (U+2500 to U+25FF).
    return 0x2500 <= character <= 0x25FF


def screen_codes():
    upper = [code for code in range(128, 256)
             if not is_box_or_block(unicode_of(code, "cp850"))]
    return list(range(32, 127)) + upper


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_fonts.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    write_bmp(os.path.join(folder, "console_font.bmp"),
              build_sheet(read_psf1(CONSOLE_SOURCE), "cp437", console_codes()),
              BLACK_WHITE, 1)
    write_bmp(os.path.join(folder, "screen_font.bmp"),
              build_sheet(read_psf1(SCREEN_SOURCE), "cp850", screen_codes()),
              BLACK_WHITE, 1)


if __name__ == "__main__":
    main()
