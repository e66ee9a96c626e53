#!/usr/bin/env python3
"""Paints the street scene's grass: 512 x 512 pixels in a 64-entry palette of
greens, tileable, written as an 8-bit BMP.  Broad patches of lighter and
darker turf, short vertical blade streaks and a little grain; the ground
repeats it a hundred times each way, so nothing coarse enough to show as a
grid is allowed in.
Usage: make_grass.py OUTPUT_FOLDER"""

import os
import sys

from bmp_writer import write_bmp
from tile_noise import fractal_noise, speckle

SIZE = 512
LEVELS = 64


def palette():
    # Dark earthy green up to sunlit yellow-green.
    out = []
    for i in range(LEVELS):
        t = i / (LEVELS - 1)
        out.append((int(18 + 92 * t * t), int(44 + 150 * t), int(12 + 40 * t)))
    return out


def main():
    folder = sys.argv[1]
    patches = fractal_noise(SIZE, SIZE, [(4, 4, 0.5), (8, 8, 0.3), (16, 16, 0.2)], 11)
    # Blades: cells far narrower than tall, so the grain runs upwards.
    blades = fractal_noise(SIZE, SIZE, [(128, 16, 0.6), (256, 32, 0.4)], 23)
    rows = []
    for y in range(SIZE):
        prow, brow = patches[y], blades[y]
        row = []
        for x in range(SIZE):
            value = 0.15 + 0.45 * prow[x] + 0.35 * brow[x] + 0.12 * speckle(x, y, 5)
            index = int(value * LEVELS * 0.95)
            row.append(max(0, min(LEVELS - 1, index)))
        rows.append(row)
    write_bmp(os.path.join(folder, "grass.bmp"), rows, palette(), 8)


if __name__ == "__main__":
    main()
