#!/usr/bin/env python3
"""Paints the road's texture atlas: 1024 x 512 pixels in a 64-entry grey
palette, written as an 8-bit BMP.  The left half is dark asphalt with one
white lane dash running lengthwise (top to bottom) in its middle; the right
half is lighter grey pavement of square slabs.  Both halves repeat from top
to bottom, since the road's texture coordinates run over ten periods.  The
road mesh (make_street_mesh.py) maps its parts onto these columns.
Usage: make_street_atlas.py OUTPUT_FOLDER"""

import os
import sys

from bmp_writer import write_bmp
from tile_noise import fractal_noise, speckle

WIDTH, HEIGHT = 1024, 512
LEVELS = 64
HALF = WIDTH // 2
DASH_LEFT, DASH_RIGHT = 232, 280  # the dash's columns; the mesh's centre line maps here
DASH_ROWS = 320                   # rows 0..319 white, the rest a gap of asphalt
SLAB = 128                        # pavement slab size in pixels
JOINT = 3                         # width of the dark joint between slabs


def palette():
    # Greys with a faint blue cast in the darks, as wet-looking asphalt has.
    out = []
    for i in range(LEVELS):
        t = i / (LEVELS - 1)
        grey = int(14 + 226 * t)
        out.append((grey, grey, min(255, grey + int(10 * (1 - t)))))
    return out


def level(value):
    return max(0, min(LEVELS - 1, int(value * (LEVELS - 1) + 0.5)))


def main():
    folder = sys.argv[1]
    tar = fractal_noise(WIDTH, HEIGHT, [(16, 8, 0.4), (64, 32, 0.35), (256, 128, 0.25)], 41)
    wear = fractal_noise(WIDTH, HEIGHT, [(32, 16, 0.7), (128, 64, 0.3)], 43)
    rows = []
    for y in range(HEIGHT):
        row = []
        for x in range(WIDTH):
            grain = speckle(x, y, 3)
            if x < HALF:
                value = 0.12 + 0.12 * tar[y][x] + (0.10 if grain > 0.93 else 0.0)
                if DASH_LEFT <= x < DASH_RIGHT and y < DASH_ROWS:
                    # Paint worn through in places, showing the asphalt under it.
                    paint = 0.92 - 0.25 * wear[y][x] - 0.08 * grain
                    value = paint if wear[y][x] < 0.84 else (paint + value) / 2
            else:
                px, py = (x - HALF) % SLAB, y % SLAB
                slab = lattice_slab(x // SLAB, y // SLAB)
                value = 0.50 + 0.10 * slab + 0.14 * tar[y][x] + 0.06 * grain
                if px < JOINT or py < JOINT:
                    value = 0.30 + 0.05 * grain
            row.append(level(value))
        rows.append(row)
    write_bmp(os.path.join(folder, "streetroad.bmp"), rows, palette(), 8)


def lattice_slab(i, j):
    """Each slab a slightly different shade, as real paving weathers unevenly."""
    h = (i * 2654435761 + j * 40503 + 97) & 0xFFFFFFFF
    h = ((h ^ (h >> 15)) * 2246822519) & 0xFFFFFFFF
    return ((h >> 8) & 0xFF) / 255.0


if __name__ == "__main__":
    main()
