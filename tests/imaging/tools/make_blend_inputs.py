#!/usr/bin/env python3
"""Draws the body and face pictures that the Linux and the Windows builds both compose, so
that their portraits can be compared bit for bit (tests/imaging/ComposeBitsMain.cpp).

The body is taller than a portrait (600 high), so composing shrinks it; both have smooth
ramps and hard edges, so rounding anywhere in the blend or the shrink shows. 8-bit RGB PNG,
standard library only:

    python3 tests/imaging/tools/make_blend_inputs.py tests/data/imaging
"""

import os
import struct
import sys
import zlib


def png(path, width, height, pixel):
    rows = bytearray()
    for y in range(height):
        rows.append(1)  # each byte as the difference to the pixel on its left: ramps pack small
        previous = (0, 0, 0)
        for x in range(width):
            current = pixel(x, y)
            rows.extend((c - p) & 0xFF for c, p in zip(current, previous))
            previous = current

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(bytes(rows), 9)))
        out.write(chunk(b"IEND", b""))


def body(x, y):
    checker = ((x // 24 + y // 24) % 2) * 90
    return (x * 255 // 719, y * 255 // 899, 60 + checker)


def face(x, y):
    stripe = 40 if (x + 2 * y) % 23 < 7 else 0
    return (230 - y // 2, 140 + x // 3 - stripe, 90 + (x // 5 * 7) % 64)


folder = sys.argv[1] if len(sys.argv) > 1 else "."
png(os.path.join(folder, "blend-body.png"), 720, 900, body)
png(os.path.join(folder, "blend-face.png"), 160, 200, face)
