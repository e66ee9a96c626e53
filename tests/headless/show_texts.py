"""The show's texts as the intro holds them, read from its source so that the
screenshots are compared with exactly what the program draws."""

import os
import re

SOURCE = os.path.join(os.path.dirname(__file__), "..", "..", "src", "gfx", "screen_texts.cpp")


def _unescape(literal):
    out = bytearray()
    i = 0
    while i < len(literal):
        c = literal[i]
        if c != "\\":
            out += c.encode("latin-1")
            i += 1
            continue
        n = literal[i + 1]
        if n == "x":
            j = i + 2
            while j < len(literal) and literal[j] in "0123456789abcdefABCDEF":
                j += 1
            out.append(int(literal[i + 2:j], 16))
            i = j
        else:
            out += {"n": b"\n", "r": b"\r", "t": b"\t", "\\": b"\\", '"': b'"', "'": b"'"}[n]
            i += 2
    return bytes(out)


def load_texts():
    with open(SOURCE, encoding="latin-1") as f:
        source = f.read()
    texts = {}
    for name, body in re.findall(r"const char (\w+)\[\] =(.*?);\n", source, re.S):
        texts[name] = b"".join(_unescape(part) for part in re.findall(r'"((?:[^"\\]|\\.)*)"', body))
    return texts
