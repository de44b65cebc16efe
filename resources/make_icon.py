#!/usr/bin/env python3
"""Draws the application icon and writes it as app_icon_zv.ico: 32-bit BMP entries up to 128 px and a PNG entry
for 256 px, the size high-DPI title bars and task bars ask for (PNG keeps the file small).

Usage: python3 make_icon.py [output] [--png-dir DIR]. With --png-dir it also writes every size as
DIR/<n>x<n>/apps/com.zorvik.ZorvikCertUtil.png, the icon theme layout of Linux desktops. Pure Python, no imaging
library, so the icon can be remade anywhere.
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
SUPERSAMPLE = 4

BLUE = (0x1E, 0x5E, 0xC8)
BLUE_DARK = (0x13, 0x3F, 0x8A)
PAPER = (0xFF, 0xFF, 0xFF)
LINE = (0x9F, 0xB4, 0xD8)
SEAL = (0xE8, 0xA3, 0x17)


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def shade(u, v):
    """Colour (r, g, b, a) at the unit-square point (u, v), y pointing down."""
    if not inside_round_rect(u, v, 0.02, 0.02, 0.98, 0.98, 0.2):
        return (0, 0, 0, 0)
    colour = BLUE if v < 0.5 + 0.4 * (u - 0.5) else BLUE_DARK
    # A certificate sheet with three text lines and a seal in the lower right corner.
    if inside_round_rect(u, v, 0.2, 0.18, 0.8, 0.78, 0.05):
        colour = PAPER
        for line_y, line_end in ((0.32, 0.7), (0.44, 0.7), (0.56, 0.5)):
            if abs(v - line_y) < 0.035 and 0.3 <= u <= line_end:
                colour = LINE
    if math.hypot(u - 0.7, v - 0.72) <= 0.16:
        colour = SEAL
    if math.hypot(u - 0.7, v - 0.72) <= 0.07:
        colour = PAPER
    return colour + (255,)


def render(size):
    pixels = []
    n = SUPERSAMPLE
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = shade((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(alpha)))
            else:
                row.append((0, 0, 0, 0))
        pixels.append(row)
    return pixels


def bmp_entry(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def png_entry(size, pixels):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in pixels:
        raw.append(0)  # no filter
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def main():
    args = sys.argv[1:]
    png_dir = None
    if "--png-dir" in args:
        at = args.index("--png-dir")
        png_dir = args[at + 1]
        del args[at:at + 2]
    output = args[0] if args else "app_icon_zv.ico"
    images = {size: render(size) for size in SIZES}
    if png_dir:
        for size, pixels in images.items():
            folder = os.path.join(png_dir, "%dx%d" % (size, size), "apps")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "com.zorvik.ZorvikCertUtil.png"), "wb") as handle:
                handle.write(png_entry(size, pixels))
    entries = [(size, (png_entry if size >= 256 else bmp_entry)(size, images[size])) for size in SIZES]
    data = bytearray(struct.pack("<HHH", 0, 1, len(entries)))
    offset = 6 + 16 * len(entries)
    for size, blob in entries:
        dim = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, blob in entries:
        data += blob
    with open(output, "wb") as handle:
        handle.write(data)


if __name__ == "__main__":
    main()
