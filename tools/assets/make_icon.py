#!/usr/bin/env python3
"""Makes the desktop icon from the boot console's logo: the 160 x 160 logo,
pixel for pixel, on a 192 x 192 rounded square of its own ground colour,
transparent outside the corners, written as an indexed PNG.  192 is a size
the hicolor icon theme lists, and no resampling blurs the pixel art.
Usage: make_icon.py OUTPUT_FOLDER"""

import os
import struct
import sys
import zlib

from make_boot_logo import GROUND, PALETTE, SIZE as LOGO_SIZE, draw_logo

SIZE = 192
CORNER_RADIUS = 28
TRANSPARENT = len(PALETTE)  # the palette entry after the logo's colours


def inside_rounded_square(x, y):
    # Pixel centres in doubled coordinates keep the test in integers.
    low, high = 2 * CORNER_RADIUS, 2 * (SIZE - CORNER_RADIUS)
    cx = min(max(2 * x + 1, low), high)
    cy = min(max(2 * y + 1, low), high)
    dx, dy = 2 * x + 1 - cx, 2 * y + 1 - cy
    return dx * dx + dy * dy <= 4 * CORNER_RADIUS * CORNER_RADIUS


def draw_icon():
    logo = draw_logo()
    margin = (SIZE - LOGO_SIZE) // 2
    icon = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            if not inside_rounded_square(x, y):
                row.append(TRANSPARENT)
            elif margin <= x < margin + LOGO_SIZE and margin <= y < margin + LOGO_SIZE:
                row.append(logo[y - margin][x - margin])
            else:
                row.append(GROUND)
        icon.append(row)
    return icon


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def encode_png(rows, palette):
    """An 8-bit indexed PNG; the entry after the palette is fully transparent."""
    height, width = len(rows), len(rows[0])
    header = struct.pack(">IIBBBBB", width, height, 8, 3, 0, 0, 0)
    colours = b"".join(bytes(colour) for colour in palette) + b"\0\0\0"
    alpha = b"\xff" * len(palette) + b"\0"
    # Filter type 0 on every row: the bytes depend on nothing but the picture.
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", colours) + chunk(b"tRNS", alpha)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT_FOLDER")
    with open(os.path.join(sys.argv[1], "intro_icon.png"), "wb") as f:
        f.write(encode_png(draw_icon(), PALETTE))


if __name__ == "__main__":
    main()
