#!/usr/bin/env python3
"""Draws Pelmode's icon, a monitor with arrows for width and height, and
writes it as a Windows .ico: ten images at the sizes and colour depths the
shell asks for, bitmaps except the large one, which is a PNG (Windows Vista
and later read those; as a bitmap it would be two thirds of the program).

Usage: make_icon.py OUTPUT.ico
"""

import struct
import sys
import zlib

# (size in pixels, bits per pixel), in the order the icon group lists them.
IMAGES = [(48, 4), (32, 4), (16, 4), (48, 8), (32, 8), (16, 8),
          (128, 32), (48, 32), (32, 32), (16, 32)]
PNG_FROM_PX = 128

BEZEL = (48, 52, 64)
SCREEN_TOP = (20, 60, 210)
SCREEN_BOTTOM = (40, 100, 235)
# Palette images get one flat screen colour and no antialiasing: a gradient
# or blended edges would be quantised into bands and stray pixels.
SCREEN_FLAT = (30, 80, 222)
STAND = (110, 116, 128)
ARROW = (255, 255, 255)

# The 16 colours of the standard Windows palette.
VGA_PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette_256():
    """A 6x6x6 colour cube and a ramp of greys: 256 entries."""
    levels = [0, 51, 102, 153, 204, 255]
    cube = [(r, g, b) for r in levels for g in levels for b in levels]
    greys = [(v, v, v) for v in range(6, 256, 6)][:40]
    return cube + greys


def in_rect(x, y, left, top, right, bottom):
    return left <= x < right and top <= y < bottom


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    negative = d1 < 0 or d2 < 0 or d3 < 0
    positive = d1 > 0 or d2 > 0 or d3 > 0
    return not (negative and positive)


def in_double_arrow(x, y, start, end, across, shaft, head):
    """A double-headed arrow along one axis: `start` to `end` on that axis,
    centred on `across`, with a shaft and heads of the given half-widths."""
    if not start <= x <= end:
        return False
    length = head * 1.2
    if x < start + length:
        return abs(y - across) <= head * (x - start) / length
    if x > end - length:
        return abs(y - across) <= head * (end - x) / length
    return abs(y - across) <= shaft


def colour_at(x, y, gradient):
    """The picture on the unit square; None where it is transparent."""
    if in_rect(x, y, 0.12, 0.17, 0.88, 0.65):
        if in_double_arrow(x, y, 0.17, 0.83, 0.41, 0.035, 0.13):
            return ARROW
        if in_double_arrow(y, x, 0.21, 0.61, 0.5, 0.035, 0.11):
            return ARROW
        if not gradient:
            return SCREEN_FLAT
        t = (y - 0.17) / 0.48
        return tuple(round(a + (b - a) * t) for a, b in zip(SCREEN_TOP, SCREEN_BOTTOM))
    if in_rect(x, y, 0.04, 0.09, 0.96, 0.73):
        return BEZEL
    if in_rect(x, y, 0.42, 0.73, 0.58, 0.84) or in_rect(x, y, 0.24, 0.84, 0.76, 0.92):
        return STAND
    return None


def render(size, true_colour):
    """Rows of (r, g, b, a), top row first; true-colour images above 16
    pixels are antialiased by supersampling."""
    samples = 4 if size > 16 and true_colour else 1
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) / size,
                                  (py + (sy + 0.5) / samples) / size, true_colour)
                    if c is not None:
                        r, g, b, covered = r + c[0], g + c[1], b + c[2], covered + 1
            if covered:
                row.append((round(r / covered), round(g / covered),
                            round(b / covered), round(255 * covered / samples ** 2)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((p - c) ** 2 for p, c in zip(palette[i], colour)))


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def pack_bits(values, bits):
    out = bytearray()
    per_byte = 8 // bits
    for i in range(0, len(values), per_byte):
        byte = 0
        for j, v in enumerate(values[i:i + per_byte]):
            byte |= v << (8 - bits * (j + 1))
        out.append(byte)
    return bytes(out)


def bitmap(size, bpp):
    """The image as an icon stores it: header, palette, colours, mask."""
    pixels = render(size, bpp == 32)
    mask_rows, colour_rows = [], []
    palette = {4: VGA_PALETTE, 8: palette_256()}.get(bpp, [])
    for row in reversed(pixels):  # bitmaps store the bottom row first
        mask_rows.append(padded(pack_bits([1 if a < 128 else 0 for *_, a in row], 1)))
        if bpp == 32:
            colour_rows.append(b"".join(bytes((b, g, r, a)) for r, g, b, a in row))
        else:
            indices = [nearest(palette, (r, g, b)) if a >= 128 else 0
                       for r, g, b, a in row]
            colour_rows.append(padded(pack_bits(indices, bpp)))
    data = b"".join(colour_rows) + b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0,
                         len(data), 0, 0, 0, 0)
    quads = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return header + quads + data


def png(size):
    """The true-colour image as a PNG: 8-bit RGBA rows, each unfiltered."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data)))
    rows = b"".join(b"\0" + bytes(v for pixel in row for v in pixel)
                    for row in render(size, True))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def icon_file():
    images = [png(size) if size >= PNG_FROM_PX else bitmap(size, bpp)
              for size, bpp in IMAGES]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for (size, bpp), image in zip(IMAGES, images):
        colours = 16 if bpp == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0,
                                 1, bpp, len(image), offset)
        offset += len(image)
    return directory + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[1], "wb") as out:
        out.write(icon_file())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
