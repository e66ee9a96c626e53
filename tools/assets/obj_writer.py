"""Writes Wavefront OBJ texts for the mesh generators: positions, texture
coordinates and normals are pooled so that each distinct value is written
once, and faces refer to them by 1-based index, as the format counts."""


def fmt(value):
    text = "%.4f" % value
    return "0.0000" if text == "-0.0000" else text


class ObjBuilder:
    def __init__(self):
        self.positions, self.texcoords, self.normals = [], [], []
        self._index = {}
        self.body = []  # face, material and smoothing lines in order

    def _pool(self, kind, pool, value):
        key = (kind,) + tuple(fmt(v) for v in value)
        if key not in self._index:
            pool.append(key[1:])
            self._index[key] = len(pool)
        return self._index[key]

    def add_normal(self, normal):
        self._pool("vn", self.normals, normal)

    def line(self, text):
        self.body.append(text)

    def face(self, corners):
        """corners: (position, texcoord, normal) triples; texcoord or normal may be None."""
        parts = []
        for position, texcoord, normal in corners:
            p = self._pool("v", self.positions, position)
            t = "" if texcoord is None else str(self._pool("vt", self.texcoords, texcoord))
            n = "" if normal is None else str(self._pool("vn", self.normals, normal))
            parts.append("%d/%s/%s" % (p, t, n) if n else ("%d/%s" % (p, t) if t else str(p)))
        self.body.append("f " + " ".join(parts))

    def text(self, header):
        out = list(header)
        out += ["v " + " ".join(p) for p in self.positions]
        out += ["vt " + " ".join(t) for t in self.texcoords]
        out += ["vn " + " ".join(n) for n in self.normals]
        return "\n".join(out + self.body) + "\n"


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def sub(a, b):
    return tuple(x - y for x, y in zip(a, b))


def dot(a, b):
    return sum(x * y for x, y in zip(a, b))
