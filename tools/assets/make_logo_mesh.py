#!/usr/bin/env python3
"""Builds the conference's emblem as OBJ and MTL texts: a lantern (a handle
arch, a pentagonal roof, two posts, a flame, a base) sending out three rays
of light on each side, extruded 0.66 thick and smooth-shaded.  Each piece
is a convex-decomposed outline: its caps are the quads, triangles and
pentagons given, its sides one quad per outline edge, with normals shared
across gentle bends and split at sharp corners.  About 3.1 wide, 2.7 tall.
Usage: make_logo_mesh.py OUTPUT_FOLDER"""

import math
import os
import sys

from obj_writer import ObjBuilder, cross, dot, sub

HALF_DEPTH = 0.33
WIDTH_X, BOTTOM_Y, TOP_Y = 1.5547, -0.8977, 1.7949
SHARP = 0.8  # cosine of the bend beyond which side normals split (about 37 degrees)

MTL = """# Emblem material.
newmtl Logo
Ns 250.000000
Ka 1.000000 1.000000 1.000000
Kd 0.000000 0.318547 0.000000
Ks 0.500000 0.500000 0.500000
Ke 0.000000 0.000000 0.000000
Ni 1.000000
d 1.000000
illum 2
"""


def arch():
    centre_y, inner, outer, steps = 1.33, 0.27, TOP_Y - 1.33, 16
    angles = [math.pi * k / steps for k in range(steps + 1)]
    outline = [(outer * math.cos(a), centre_y + outer * math.sin(a)) for a in angles]
    outline += [(inner * math.cos(a), centre_y + inner * math.sin(a)) for a in reversed(angles)]
    n = steps + 1
    caps = [[k, k + 1, 2 * n - 2 - k, 2 * n - 1 - k] for k in range(steps)]
    return outline, caps


def flame():
    outline = [(0.0, -0.3), (0.28, 0.05), (0.18, 0.4), (0.0, 0.85), (-0.18, 0.4), (-0.28, 0.05)]
    return outline, [[0, 1, 2, 4, 5], [2, 3, 4]]


def ray(apex, angle_deg, length=0.5, half_width=0.14):
    a = math.radians(angle_deg)
    dx, dy = math.cos(a), math.sin(a)
    ex, ey = apex[0] + dx * length, apex[1] + dy * length
    return [apex, (ex + dy * half_width, ey - dx * half_width), (ex - dy * half_width, ey + dx * half_width)]


def mirrored(outline):
    return [(-x, y) for x, y in reversed(outline)]


def pieces():
    out = [arch(),
           ([(-1.2, 0.9), (1.2, 0.9), (0.9, 1.2), (0.0, 1.45), (-0.9, 1.2)], [[0, 1, 2, 3, 4]]),
           ([(-1.0, -0.5), (-0.75, -0.5), (-0.75, 0.9), (-1.0, 0.9)], [[0, 1, 2, 3]]),
           ([(0.75, -0.5), (1.0, -0.5), (1.0, 0.9), (0.75, 0.9)], [[0, 1, 2, 3]]),
           flame(),
           ([(-0.9, BOTTOM_Y), (0.9, BOTTOM_Y), (1.25, -0.5), (-1.25, -0.5)], [[0, 1, 2, 3]])]
    rays = [[(1.05, 0.2), (WIDTH_X, 0.05), (WIDTH_X, 0.35)], ray((1.0, 0.65), 30), ray((1.0, -0.25), -30)]
    for r in rays:
        out.append((r, [[0, 1, 2]]))
        out.append((mirrored(r), [[0, 1, 2]]))
    return out


def uv(x, y):
    return ((x + WIDTH_X) / (2 * WIDTH_X), (y - BOTTOM_Y) / (TOP_Y - BOTTOM_Y))


def normalised(v):
    length = math.sqrt(sum(c * c for c in v))
    return tuple(c / length for c in v)


def add_piece(obj, outline, caps):
    n = len(outline)
    for cap in caps:
        obj.face([((outline[i][0], outline[i][1], HALF_DEPTH), uv(*outline[i]), (0, 0, 1)) for i in cap])
        obj.face([((outline[i][0], outline[i][1], -HALF_DEPTH), uv(*outline[i]), (0, 0, -1))
                  for i in reversed(cap)])
    # Outward normal of each edge (the outline runs counter-clockwise).
    edge = []
    for i in range(n):
        (x0, y0), (x1, y1) = outline[i], outline[(i + 1) % n]
        edge.append(normalised((y1 - y0, x0 - x1, 0.0)))
    for i in range(n):
        j = (i + 1) % n
        # A corner's normal is shared with its neighbouring edge only where the bend is gentle.
        start = edge[i] if dot(edge[i - 1], edge[i]) < SHARP else normalised(
            tuple(a + b for a, b in zip(edge[i - 1], edge[i])))
        end = edge[i] if dot(edge[i], edge[j]) < SHARP else normalised(
            tuple(a + b for a, b in zip(edge[i], edge[j])))
        (x0, y0), (x1, y1) = outline[i], outline[j]
        corners = [((x0, y0, HALF_DEPTH), (0.0, 1.0), start), ((x0, y0, -HALF_DEPTH), (0.0, 0.0), start),
                   ((x1, y1, -HALF_DEPTH), (1.0, 0.0), end), ((x1, y1, HALF_DEPTH), (1.0, 1.0), end)]
        points = [c[0] for c in corners]
        if dot(cross(sub(points[1], points[0]), sub(points[2], points[0])), edge[i]) < 0:
            corners.reverse()
        obj.face(corners)


def main():
    folder = sys.argv[1]
    obj = ObjBuilder()
    obj.line("o Logo1")
    obj.line("usemtl Logo")
    obj.line("s 1")
    for outline, caps in pieces():
        add_piece(obj, outline, caps)
    with open(os.path.join(folder, "logo.obj"), "w") as f:
        f.write(obj.text(["# Conference emblem: a lantern sending out rays of light.", "mtllib logo.mtl"]))
    with open(os.path.join(folder, "logo.mtl"), "w") as f:
        f.write(MTL)


if __name__ == "__main__":
    main()
