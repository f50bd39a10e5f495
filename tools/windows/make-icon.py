#!/usr/bin/env python3
"""Writes the program's icon as a Windows .ico file: the same drawing as the
window's own icon (a 3 x 3 grid of colour swatches with a lens over its
lower right corner), rendered with supersampling at the sizes Windows asks
for. Build tool, standard library only.

    make-icon.py OUTPUT.ico
"""
import math
import struct
import sys
import zlib

SWATCHES = [
    0xF2C14E, 0xF78154, 0xD1495B,
    0x5FAD56, 0x4D9078, 0x2E86AB,
    0x3D348B, 0x7678ED, 0xB4A0E5,
]
SIZES = [16, 20, 24, 32, 40, 48, 64, 128, 256]
# Entries this large are stored as PNG, the smaller ones as bitmaps, which
# every version of the system reads.
PNG_FROM = 128


def rgb(value):
    return ((value >> 16) & 255, (value >> 8) & 255, value & 255)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def layers(size):
    """(colour, alpha, inside(x, y)) in painting order."""
    grid = size * 0.72
    cell = grid / 3.0
    margin = size / 32.0
    result = []
    for row in range(3):
        for column in range(3):
            left, top = margin + column * cell, margin + row * cell
            result.append((rgb(SWATCHES[row * 3 + column]), 1.0,
                           lambda x, y, l=left, t=top: l <= x < l + cell and t <= y < t + cell))
    pen = size / 32.0 if size >= 32 else 1.0
    h = pen / 2

    def outline(x, y):
        outer = margin - h <= x < margin + grid + h and margin - h <= y < margin + grid + h
        inner = margin + h <= x < margin + grid - h and margin + h <= y < margin + grid - h
        return outer and not inner
    result.append(((40, 40, 40), 1.0, outline))
    radius = size * 0.22
    cx = cy = size * 0.62
    ring = size / 12.0 if size >= 32 else 1.5
    result.append(((255, 255, 255), 150 / 255, lambda x, y: math.hypot(x - cx, y - cy) <= radius))
    result.append(((30, 30, 30), 1.0, lambda x, y: abs(math.hypot(x - cx, y - cy) - radius) <= ring / 2))
    start = radius * 0.75 + ring
    handle = ring * 1.6
    result.append(((30, 30, 30), 1.0,
                   lambda x, y: segment_distance(x, y, cx + start, cy + start, size - ring, size - ring)
                   <= handle / 2))
    return result


def render(size):
    """Rows of (r, g, b, a) bytes, top row first."""
    samples = 4 if size >= 64 else 6
    offsets = [(i + 0.5) / samples for i in range(samples)]
    drawn = layers(size)
    pixels = []
    for y in range(size):
        for x in range(size):
            # Premultiplied colour, composited layer over layer.
            r = g = b = a = 0.0
            for colour, alpha, inside in drawn:
                hits = sum(1 for oy in offsets for ox in offsets if inside(x + ox, y + oy))
                if not hits:
                    continue
                coverage = alpha * hits / (samples * samples)
                r = colour[0] * coverage + r * (1 - coverage)
                g = colour[1] * coverage + g * (1 - coverage)
                b = colour[2] * coverage + b * (1 - coverage)
                a = coverage + a * (1 - coverage)
            if a > 0:
                pixels.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                pixels.append((0, 0, 0, 0))
    return pixels


def png(size, pixels):
    raw = b"".join(b"\0" + bytes(c for p in pixels[y * size:(y + 1) * size] for c in p) for y in range(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bitmap(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((p[2], p[1], p[0], p[3])) for y in reversed(range(size))
                      for p in pixels[y * size:(y + 1) * size])
    # The mask: transparent where alpha is zero, rows padded to 32 bits.
    stride = (size + 31) // 32 * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if pixels[y * size + x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + colour + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for size in SIZES:
        pixels = render(size)
        images.append((size, png(size, pixels) if size >= PNG_FROM else bitmap(size, pixels)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
