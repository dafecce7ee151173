#!/usr/bin/env python3
"""Draws data/mask.png: a white oval that fades to black towards the edges.

The compositing reads the mask's red channel as the weight of the pasted face (255 face,
0 body), stretched over every face box. The file is an 8-bit grey PNG, so red equals grey.
Uses only the standard library, so the mask can be redrawn anywhere:

    python3 imaging/tools/make_mask.py [output.png]
"""

import math
import os
import struct
import sys
import zlib

SIZE = 256  # the blend stretches the mask anyway; 256 keeps the fade smooth in large boxes
HALF_WIDTH = 0.44  # oval half-axes as fractions of the side: faces are taller than wide
HALF_HEIGHT = 0.48
SOLID = 0.55  # fraction of the oval's radius that shows the face fully


def weight(x, y):
    """Weight 0..255 of the pixel whose centre is (x + 0.5, y + 0.5)."""
    dx = (x + 0.5 - SIZE / 2) / (HALF_WIDTH * SIZE)
    dy = (y + 0.5 - SIZE / 2) / (HALF_HEIGHT * SIZE)
    r = math.hypot(dx, dy)
    if r <= SOLID:
        return 255
    if r >= 1.0:
        return 0
    t = (1.0 - r) / (1.0 - SOLID)
    return round(255 * t * t * (3 - 2 * t))  # smoothstep: no visible ring at either end


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def png_grey(rows):
    height = len(rows)
    width = len(rows[0])
    raw = b"".join(b"\x00" + bytes(row) for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "data", "mask.png")
    rows = [[weight(x, y) for x in range(SIZE)] for y in range(SIZE)]
    with open(out, "wb") as f:
        f.write(png_grey(rows))


if __name__ == "__main__":
    main()
