"""Tileable value noise for the procedural pictures.  The lattice repeats
with the picture, so a texture made from it wraps without a seam.  Only
integer hashing and + - * / are used, so every machine makes the same bytes."""


def lattice_value(x, y, seed):
    """A pseudo-random value in [0, 1) for one integer lattice point."""
    h = (x * 374761393 + y * 668265263 + seed * 2246822519) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return (h & 0xFFFFFF) / 16777216.0


def noise_grid(width, height, cells_x, cells_y, seed):
    """One octave: a width x height grid (rows of floats in [0, 1)) of
    smoothly interpolated lattice values, cells_x by cells_y lattice cells,
    repeating exactly across the picture's edges."""
    lattice = [[lattice_value(i, j, seed) for i in range(cells_x)] for j in range(cells_y)]
    cell_w = width / cells_x
    cell_h = height / cells_y

    def weights(size, cell, cells):
        out = []
        for p in range(size):
            f = (p + 0.5) / cell
            i = int(f)
            t = f - i
            out.append((i % cells, (i + 1) % cells, t * t * (3.0 - 2.0 * t)))
        return out

    wx = weights(width, cell_w, cells_x)
    wy = weights(height, cell_h, cells_y)
    grid = []
    for j0, j1, ty in wy:
        row0, row1 = lattice[j0], lattice[j1]
        row = []
        for i0, i1, tx in wx:
            a = row0[i0] + (row0[i1] - row0[i0]) * tx
            b = row1[i0] + (row1[i1] - row1[i0]) * tx
            row.append(a + (b - a) * ty)
        grid.append(row)
    return grid


def fractal_noise(width, height, octaves, seed):
    """Sum of octaves given as (cells_x, cells_y, weight); normalised to [0, 1)."""
    total = [[0.0] * width for _ in range(height)]
    weight_sum = 0.0
    for n, (cells_x, cells_y, weight) in enumerate(octaves):
        grid = noise_grid(width, height, cells_x, cells_y, seed * 31 + n)
        for y in range(height):
            trow, grow = total[y], grid[y]
            for x in range(width):
                trow[x] += grow[x] * weight
        weight_sum += weight
    for row in total:
        for x in range(width):
            row[x] /= weight_sum
    return total


def speckle(x, y, seed):
    """Per-pixel grain in [0, 1), for grit and blade tips."""
    return lattice_value(x, y, seed + 7919)
