#!/usr/bin/env python3
"""Writes a large picture to stdout row by row, never holding it whole:
   signature_pictures.py ppm|png WIDTH HEIGHT
ppm: 8-bit RGB with gradients and grain (for cjpeg); png: 8-bit RGB,
non-interlaced, the same rows, deflated as they are made."""
import random
import struct
import sys
import zlib


def rows(width, height):
    """Vertical and horizontal colour ramps with grain (low bits flipped)."""
    random.seed(7)
    size = width * 3
    grain = bytes(random.randrange(0, 32) for _ in range(size + 3 * 97))
    base = 0
    for y in range(height):
        if y % 64 == 0:
            r, g = (y * 255) // height, 255 - (y * 255) // height
            row = b"".join(bytes((r, g, (x * 255) // width)) * min(64, width - x) for x in range(0, width, 64))
            base = int.from_bytes(row, "big")
        offset = 3 * ((y * 31) % 97)
        noise = int.from_bytes(grain[offset:offset + size], "big")
        yield (base ^ noise).to_bytes(size, "big")


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def main():
    kind, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    out = sys.stdout.buffer
    if kind == "ppm":
        out.write(b"P6\n%d %d\n255\n" % (width, height))
        for row in rows(width, height):
            out.write(row)
        return
    out.write(b"\x89PNG\r\n\x1a\n")
    out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
    deflate = zlib.compressobj(1)
    pending = b""
    for row in rows(width, height):
        pending += deflate.compress(b"\x00" + row)
        if len(pending) >= 1 << 20:
            out.write(chunk(b"IDAT", pending))
            pending = b""
    pending += deflate.flush()
    out.write(chunk(b"IDAT", pending))
    out.write(chunk(b"IEND", b""))


main()
