#!/usr/bin/env python3
"""Builds the road segment as OBJ and MTL texts: 20 units long (z -10 to 10)
in 16 slices, each slice a 0.2-wide painted centre line, two lanes of two
quads a side out to x = +-4.1, raised kerbs 0.2 high and pavements out to
x = +-6.1 with their outer edges.  Every face is a quad facing outwards
(counter-clockwise seen from outside).  Texture v runs from -4.5 to 5.5
along the road, so the atlas (make_street_atlas.py) repeats ten times; u
picks the atlas column for each part: the dash for the centre line, plain
asphalt for the lanes, slabs for the pavement.
Usage: make_street_mesh.py OUTPUT_FOLDER"""

import os
import sys

from obj_writer import ObjBuilder, cross, dot, sub

SLICES = 16
LENGTH = 20.0
KERB = 0.2
AXES = [(1, 0, 0), (-1, 0, 0), (0, 1, 0), (0, -1, 0), (0, 0, 1), (0, 0, -1)]

# Atlas columns (u) of each part: the dash sits at pixels 232..280 of 1024.
U_DASH = (0.2305, 0.2695)
U_LANE = (0.30, 0.49)
U_KERB = (0.505, 0.53)
U_SLABS = ((0.50, 0.75), (0.75, 1.00))

# Road segment materials: both take the street atlas, one for the centre line.
MATERIAL = """newmtl %s
Ns 250.000000
Ka 1.000000 1.000000 1.000000
Ks 0.500000 0.500000 0.500000
Ke 0.000000 0.000000 0.000000
Ni 1.500000
d 1.000000
illum 2
map_Kd streetroad.bmp
"""
MTL = "# Road segment materials: both take the street atlas.\n" + "\n".join(
    MATERIAL % name for name in ("Material.001", "Material.002"))


def v_of(z):
    return z / 2.0 + 0.5


def quad(obj, points, uvs, normal):
    """Writes a quad, reversing it if needed so that it winds counter-clockwise around normal."""
    corners = list(zip(points, uvs))
    if dot(cross(sub(points[1], points[0]), sub(points[2], points[0])), normal) < 0:
        corners.reverse()
    obj.face([(p, uv, normal) for p, uv in corners])


def flat(obj, x0, x1, y, z0, z1, u):
    quad(obj, [(x0, y, z0), (x0, y, z1), (x1, y, z1), (x1, y, z0)],
         [(u[0], v_of(z0)), (u[0], v_of(z1)), (u[1], v_of(z1)), (u[1], v_of(z0))], (0, 1, 0))


def wall(obj, x, facing, z0, z1, u):
    quad(obj, [(x, 0.0, z0), (x, 0.0, z1), (x, KERB, z1), (x, KERB, z0)],
         [(u[0], v_of(z0)), (u[0], v_of(z1)), (u[1], v_of(z1)), (u[1], v_of(z0))], (facing, 0, 0))


def main():
    folder = sys.argv[1]
    obj = ObjBuilder()
    for p in AXES:  # all six axis normals, as exporters write them
        obj.add_normal(p)
    obj.line("o Lane_Separator")
    obj.line("usemtl Material.002")
    obj.line("s 0")
    step = LENGTH / SLICES
    for s in range(SLICES):
        z0, z1 = -10.0 + s * step, -10.0 + (s + 1) * step
        flat(obj, -0.1, 0.1, 0.0, z0, z1, U_DASH)
    obj.line("usemtl Material.001")
    for s in range(SLICES):
        z0, z1 = -10.0 + s * step, -10.0 + (s + 1) * step
        for side in (-1.0, 1.0):
            inner = [0.1, 2.1, 4.1]
            for a, b in zip(inner, inner[1:]):
                x0, x1 = sorted((side * a, side * b))
                flat(obj, x0, x1, 0.0, z0, z1, U_LANE)
            wall(obj, side * 4.1, -side, z0, z1, U_KERB)
            x0, x1 = sorted((side * 4.1, side * 4.4))
            flat(obj, x0, x1, KERB, z0, z1, U_KERB)
            for (a, b), u in zip(((4.4, 5.25), (5.25, 6.1)), U_SLABS):
                x0, x1 = sorted((side * a, side * b))
                flat(obj, x0, x1, KERB, z0, z1, u)
            wall(obj, side * 6.1, side, z0, z1, U_KERB)
    with open(os.path.join(folder, "streetroad.obj"), "w") as f:
        f.write(obj.text(["# Road segment: centre line, lanes, kerbs and pavements, 20 units long.",
                          "mtllib streetroad.mtl"]))
    with open(os.path.join(folder, "streetroad.mtl"), "w") as f:
        f.write(MTL)


if __name__ == "__main__":
    main()
