"""Recognisers for screenshots of the three 3D scenes, for the whole-show
test: each takes a harness Image and says whether it shows that scene.
They judge by fractions of sampled pixels, so any screen size works, and
they reject the other scenes and the text screens.

- reflection: a black sky over a floor of alternating black and mid-grey
  cells, and a coloured cube;
- wave: most of the picture in saturated bands of several hues;
- street: a black sky, green grass and a grey road below the horizon;
  the green logo is checked apart (street_logo_visible), since it spends
  part of each bounce lost in the fog at the far end of the road."""

STEP = 4  # sample every 4th pixel of every 4th row


def _samples(shot, top, bottom):
    """(r, g, b) of sampled pixels in the rows from fraction top to bottom of the height."""
    rgb, width = shot.rgb, shot.width
    out = []
    for y in range(int(shot.height * top), int(shot.height * bottom), STEP):
        base = y * width * 3
        for x in range(0, width, STEP):
            i = base + 3 * x
            out.append((rgb[i], rgb[i + 1], rgb[i + 2]))
    return out


def _chroma(p):
    return max(p) - min(p)


def _lum(p):
    return (3 * p[0] + 6 * p[1] + p[2]) / 10


def _fraction(pixels, test):
    return sum(1 for p in pixels if test(p)) / max(1, len(pixels))


def _dark_sky(shot):
    return _fraction(_samples(shot, 0.0, 0.2), lambda p: _lum(p) < 20) > 0.95


def looks_like_reflection(shot):
    if not _dark_sky(shot):
        return False
    floor = _samples(shot, 0.65, 1.0)
    grey = _fraction(floor, lambda p: _chroma(p) < 16 and 25 <= _lum(p) <= 170)
    black = _fraction(floor, lambda p: _lum(p) < 18)
    # The checkerboard: along a row, cells switch between black and grey again and again.
    switches, rows = 0, 0
    width = shot.width
    for y in range(int(shot.height * 0.7), shot.height, max(1, shot.height // 20)):
        rows += 1
        previous = None
        for x in range(0, width, 2):
            level = _lum(shot.pixel(x, y))
            state = 0 if level < 18 else (1 if level >= 25 else previous)
            if previous is not None and state != previous:
                switches += 1
            previous = state
    # The cube: coloured faces, or a face lit head-on, which its highlight turns white.
    cube = _fraction(_samples(shot, 0.0, 1.0), lambda p: _chroma(p) > 50 or _lum(p) > 200)
    return grey > 0.2 and black > 0.2 and switches / max(1, rows) >= 8 and 0.0003 < cube < 0.15


def looks_like_wave(shot):
    pixels = _samples(shot, 0.0, 1.0)
    vivid = [p for p in pixels if _chroma(p) > 80]
    if len(vivid) < 0.25 * len(pixels):
        return False
    # Several bands of different hue: strong red, green and blue each somewhere.
    reds = sum(1 for p in vivid if p[0] > p[1] + 60 and p[0] > 120)
    greens = sum(1 for p in vivid if p[1] > p[0] + 40 and p[1] > p[2] + 40)
    blues = sum(1 for p in vivid if p[2] > p[0] + 60 and p[2] > 120)
    least = 0.03 * len(vivid)
    return reds > least and greens > least and blues > least


def _grassy(p):
    return p[1] > p[0] + 12 and p[1] > p[2] + 6 and p[1] > 25


def looks_like_street(shot):
    if not _dark_sky(shot):
        return False
    ground = _samples(shot, 0.8, 1.0)
    grass = _fraction(ground, _grassy)
    road = _fraction(ground, lambda p: _chroma(p) < 45 and 30 <= _lum(p) <= 200 and not _grassy(p))
    vivid = _fraction(_samples(shot, 0.0, 1.0), lambda p: _chroma(p) > 80 and not p[1] > p[0] + p[2])
    return grass > 0.15 and road > 0.15 and vivid < 0.02


def street_logo_visible(shot):
    """A street frame with the pure green logo above the horizon, where no grass is."""
    if not looks_like_street(shot):
        return False
    sky = _samples(shot, 0.0, 0.5)
    return _fraction(sky, lambda p: p[1] > 60 and p[1] > 2 * p[0] and p[1] > 2 * p[2]) > 0.001
