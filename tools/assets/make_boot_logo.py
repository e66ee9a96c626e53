#!/usr/bin/env python3
"""Draws the boot console's logo: a pixel-art submarine with the word "U-Boot"
under it, on a dark blue ground, 160 x 160 pixels in three colours, written
as a 4-bit BMP.  Shapes are tested at pixel centres with integer arithmetic
or with the correctly rounded float operations (+ - * / and sqrt), never
with library trigonometry, so the picture is byte for byte the same on
every machine.
Usage: make_boot_logo.py OUTPUT_FOLDER"""

import math
import os
import sys

from bmp_writer import write_bmp

SIZE = 160
GROUND, YELLOW, LIGHT = 0, 1, 2
PALETTE = [(12, 22, 72), (255, 196, 36), (226, 232, 240)]

HULL_Y = 84
HULL_HALF_HEIGHT = 18
STERN_HALF_HEIGHT = 4
STERN_END = 16
STERN_START = 50
BOW_START = 114
BOW_END = 144

# The lettering's glyphs, one character per cell of 2 x 2 pixels, '#' set.
GLYPHS = {
    "U": ["##....##"] * 10 + [".##..##.", "..####.."],
    "-": ["......"] * 7 + ["######"] + ["......"] * 4,
    "B": ["########..", "##.....##.", "##......##", "##......##", "##.....##.",
          "#######...", "##....##..", "##.....##.", "##......##", "##......##",
          "##.....##.", "########.."],
    "o": [".........."] * 4 + ["..######..", ".##....##."] + ["##......##"] * 4
         + [".##....##.", "..######.."],
    "t": ["..##...."] * 4 + ["########"] + ["..##...."] * 5 + ["..##..##", "...####."],
}
WORD = "U-Boot"
LETTER_GAP = 3
LETTERING_TOP = 120


def blank():
    return [[GROUND] * SIZE for _ in range(SIZE)]


def fill_ellipse(picture, colour, centre_x, centre_y, radius_x, radius_y):
    # Pixel (x, y) is inside when its centre is; doubled coordinates keep it integer.
    for y in range(SIZE):
        for x in range(SIZE):
            dx = 2 * x + 1 - 2 * centre_x
            dy = 2 * y + 1 - 2 * centre_y
            if dx * dx * radius_y * radius_y + dy * dy * radius_x * radius_x \
                    <= 4 * radius_x * radius_x * radius_y * radius_y:
                picture[y][x] = colour


def fill_rect(picture, colour, left, top, right, bottom):
    for y in range(top, bottom):
        for x in range(left, right):
            picture[y][x] = colour


def ring(picture, centre_x, centre_y, radius):
    fill_ellipse(picture, LIGHT, centre_x, centre_y, radius, radius)
    fill_ellipse(picture, GROUND, centre_x, centre_y, radius - 1, radius - 1)


def hull_half_height(x):
    """Half the hull's height at pixel column x (0 outside it): a round bow,
    a straight body and a stern that tapers towards the propeller."""
    centre = x + 0.5
    if BOW_START <= centre <= BOW_END:
        reach = (centre - BOW_START) / (BOW_END - BOW_START)
        return HULL_HALF_HEIGHT * math.sqrt(1.0 - reach * reach)
    if STERN_END <= centre < BOW_START:
        if centre >= STERN_START:
            return HULL_HALF_HEIGHT
        reach = (STERN_START - centre) / (STERN_START - STERN_END)
        return STERN_HALF_HEIGHT + (HULL_HALF_HEIGHT - STERN_HALF_HEIGHT) * (1.0 - reach * reach)
    return 0.0


def draw_hull(picture):
    for x in range(SIZE):
        half = hull_half_height(x)
        for y in range(SIZE):
            offset = y + 0.5 - HULL_Y
            if -half <= offset <= half:
                picture[y][x] = YELLOW
            # A light stripe along the upper flank gives the hull its roundness.
            if half > 10 and -half + 4 <= offset < -half + 6 and x < BOW_END - 10:
                picture[y][x] = LIGHT


def draw_submarine(picture):
    draw_hull(picture)
    # Rudder fins above and below the stern, swept back.
    for step in range(10):
        fill_rect(picture, LIGHT, 20, HULL_Y - 15 + step, 23 + step, HULL_Y - 14 + step)
        fill_rect(picture, LIGHT, 20, HULL_Y + 14 - step, 23 + step, HULL_Y + 15 - step)
    # Conning tower with its windows, and the periscope above it.
    fill_rect(picture, YELLOW, 64, 54, 96, 68)
    fill_ellipse(picture, YELLOW, 80, 54, 16, 6)
    fill_rect(picture, LIGHT, 64, 66, 96, 67)
    for x in (69, 78, 87):
        fill_rect(picture, GROUND, x, 56, x + 5, 61)
    fill_rect(picture, LIGHT, 86, 30, 89, 49)
    fill_rect(picture, LIGHT, 86, 30, 97, 33)
    # Portholes: light rims around dark glass with a glint.
    for x in (56, 74, 92, 110):
        ring(picture, x, HULL_Y + 1, 6)
        fill_rect(picture, LIGHT, x - 3, HULL_Y - 2, x - 1, HULL_Y)
    # Shaft and propeller behind the stern.
    fill_rect(picture, LIGHT, 9, HULL_Y - 1, 18, HULL_Y + 2)
    fill_ellipse(picture, LIGHT, 11, HULL_Y - 9, 3, 8)
    fill_ellipse(picture, LIGHT, 11, HULL_Y + 10, 3, 8)
    # Bubbles rising from the bow.
    ring(picture, 138, 56, 4)
    ring(picture, 146, 42, 3)
    ring(picture, 136, 30, 5)
    ring(picture, 148, 16, 3)
    fill_rect(picture, LIGHT, 133, 27, 135, 29)


def lettering_cells():
    """The word as rows of cells: 1 for a letter, 2 for its shadow, which
    falls one cell down and to the right, 0 for ground."""
    gap = "." * LETTER_GAP
    rows = [gap.join(GLYPHS[c][row] for c in WORD) for row in range(len(GLYPHS["U"]))]
    width = len(rows[0]) + 1
    cells = [[0] * width for _ in range(len(rows) + 1)]
    for y, line in enumerate(rows):
        for x, mark in enumerate(line):
            if mark == "#":
                cells[y][x] = 1
    for y in range(1, len(cells)):
        for x in range(1, width):
            if cells[y][x] == 0 and cells[y - 1][x - 1] == 1:
                cells[y][x] = 2
    return cells


def draw_lettering(picture):
    cells = lettering_cells()
    left = (SIZE - 2 * len(cells[0])) // 2
    colours = {1: LIGHT, 2: YELLOW}
    for row, line in enumerate(cells):
        for column, cell in enumerate(line):
            if cell:
                x = left + 2 * column
                y = LETTERING_TOP + 2 * row
                fill_rect(picture, colours[cell], x, y, x + 2, y + 2)


def draw_logo():
    picture = blank()
    draw_submarine(picture)
    draw_lettering(picture)
    return picture


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_boot_logo.py OUTPUT_FOLDER")
    write_bmp(os.path.join(sys.argv[1], "boot_logo.bmp"), draw_logo(), PALETTE, 4)


if __name__ == "__main__":
    main()
