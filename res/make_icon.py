#!/usr/bin/env python3
"""Draws the program icon and writes res/quillmere.ico.

A USB drive with a power-on mark on a rounded navy tile, in the window's palette. The 256 px
image is stored PNG-compressed, the 48, 32, 24 and 16 px images as 32-bit BMPs with alpha.
Only the standard library is used, so the icon can be rebuilt anywhere: python3 make_icon.py
"""

import math
import os
import struct
import sys
import zlib

NAVY = (0x1E, 0x2A, 0x44)
PALE = (0xE4, 0xEE, 0xFF)
STEEL = (0x9B, 0xB8, 0xE8)

SIZES = (256, 48, 32, 24, 16)


def rounded_box(x, y, left, top, right, bottom, radius):
    """Signed distance to a rounded rectangle (negative inside)."""
    cx, cy = (left + right) / 2, (top + bottom) / 2
    hx, hy = (right - left) / 2 - radius, (bottom - top) / 2 - radius
    dx, dy = abs(x - cx) - hx, abs(y - cy) - hy
    outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
    return outside + min(max(dx, dy), 0.0) - radius


def power_mark(x, y, cx, cy, radius, stroke):
    """Signed distance to the power-on symbol: an open ring and a bar through its gap."""
    angle = math.atan2(x - cx, cy - y)  # 0 points straight up
    gap = math.radians(40)
    if abs(angle) > gap:
        ring = abs(math.hypot(x - cx, y - cy) - radius) - stroke / 2
    else:
        ends = []
        for side in (-1, 1):
            ex = cx + radius * math.sin(side * gap)
            ey = cy - radius * math.cos(side * gap)
            ends.append(math.hypot(x - ex, y - ey) - stroke / 2)
        ring = min(ends)
    bar_top, bar_bottom = cy - radius - stroke * 0.6, cy - radius * 0.15
    by = min(max(y, bar_top), bar_bottom)
    bar = math.hypot(x - cx, y - by) - stroke / 2
    return min(ring, bar)


def layers(small):
    """Shapes from back to front as (distance function, colour).

    Small images drop the connector's contacts and get a wider body and a bolder mark, which
    would otherwise blur into a grey smudge at 16 and 24 pixels.
    """
    if small:
        return [
            (lambda x, y: rounded_box(x, y, 0.0, 0.0, 1.0, 1.0, 0.16), NAVY),
            (lambda x, y: rounded_box(x, y, 0.34, 0.06, 0.66, 0.30, 0.0), STEEL),
            (lambda x, y: rounded_box(x, y, 0.19, 0.27, 0.81, 0.95, 0.1), PALE),
            (lambda x, y: power_mark(x, y, 0.5, 0.64, 0.18, 0.11), NAVY),
        ]
    return [
        (lambda x, y: rounded_box(x, y, 0.02, 0.02, 0.98, 0.98, 0.2), NAVY),
        (lambda x, y: rounded_box(x, y, 0.37, 0.08, 0.63, 0.34, 0.03), STEEL),
        (lambda x, y: rounded_box(x, y, 0.42, 0.15, 0.48, 0.22, 0.005), NAVY),
        (lambda x, y: rounded_box(x, y, 0.52, 0.15, 0.58, 0.22, 0.005), NAVY),
        (lambda x, y: rounded_box(x, y, 0.26, 0.30, 0.74, 0.92, 0.09), PALE),
        (lambda x, y: power_mark(x, y, 0.5, 0.645, 0.13, 0.06), NAVY),
    ]


def render(size):
    """RGBA rows, top row first, with premultiplied supersampling for smooth edges."""
    samples = 4 if size > 64 else 8
    shapes = layers(size <= 24)
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / size
                    y = (py + (sy + 0.5) / samples) / size
                    colour = None
                    for distance, rgb in shapes:
                        if distance(x, y) <= 0:
                            colour = rgb
                    if colour is not None:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = samples * samples
            alpha = acc[3] / n
            if acc[3]:
                rgb = [round(c / acc[3]) for c in acc[:3]]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def png(size, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + r for r in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(size, rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask (set where clear)."""
    mask_stride = ((size + 31) // 32) * 4
    pixels = bytearray()
    mask = bytearray()
    for r in reversed(rows):
        mask_row = bytearray(mask_stride)
        for x in range(size):
            red, green, blue, alpha = r[4 * x:4 * x + 4]
            pixels += bytes((blue, green, red, alpha))
            if alpha == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


def ico(images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return directory + entries + blobs


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                             "quillmere.ico")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(size, rows) if size >= 256 else bmp(size, rows)))
    with open(out, "wb") as f:
        f.write(ico(images))
    print(out)


if __name__ == "__main__":
    main()
