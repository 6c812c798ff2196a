#!/usr/bin/env python3
"""Draws the program icon, a mouse under a red "no" sign (with --free: the mouse alone, the
notification icon while nothing is blocked, in the small sizes only), as a .ico of 32-bit pictures with
alpha in every size Windows asks for from 100 % to 250 % scaling (16 to 64 pixels) and 256 for
large views. Edges are smoothed by sampling each pixel on a grid. Every picture is a bitmap, the
256 one too: a PNG entry would be smaller, but Wine decodes it through its imaging codecs at
every start, which delays the window's first showing. Run it again after changing the
drawing; the .ico is committed."""
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
BLACK, GREY, WHITE, RED = (0, 0, 0), (128, 128, 128), (255, 255, 255), (220, 0, 0)


def colour_at(x, y, sign=True):
    """The colour at a point of the 32 x 32 drawing (None: transparent), top layer wins."""
    cx = cy = 16.0
    colour = None
    # Mouse body: an upright rounded shape in the middle, white with a black rim.
    mx, my = (x - cx) / 8.5, (y - cy) / 12.5
    body = mx * mx + my * my
    if body <= 1.0:
        colour = BLACK
        if body <= 0.72:
            colour = WHITE
            if abs(x - cx) < 0.6 and y < cy - 2 or abs(y - (cy - 2)) < 0.6:
                colour = GREY  # the line between the two buttons and their lower edge
    # The "no" sign: a red ring with a slash from top left to bottom right.
    dx, dy = x - cx, y - cy
    r = (dx * dx + dy * dy) ** 0.5
    if sign and (12.0 <= r <= 15.5 or (r < 12.0 and abs(dx - dy) <= 2.2 * 1.41421356)):
        colour = RED
    return colour


def draw(size, sign=True):
    """Rows of (r, g, b, a), top row first."""
    grid = 8 if size <= 64 else 3
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0
            for sy in range(grid):
                for sx in range(grid):
                    c = colour_at((px + (sx + 0.5) / grid) * scale, (py + (sy + 0.5) / grid) * scale,
                                  sign)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            n = grid * grid
            row.append((r // a, g // a, b // a, round(255 * a / n)) if a else (0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a)) for row in reversed(rows))
    mask = bytearray()
    for row in reversed(rows):  # bitmaps are stored bottom-up; 1 marks a transparent pixel
        line = bytearray((size + 7) // 8)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line + b"\0" * (-len(line) % 4)
    return header + xor + bytes(mask)


def main(path, sign=True):
    sizes = SIZES if sign else tuple(size for size in SIZES if size <= 32)
    images = [(size, bmp_entry(size, draw(size, sign))) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    free = "--free" in sys.argv
    paths = [a for a in sys.argv[1:] if a != "--free"]
    main(paths[0] if paths else "res/QuelvantFree.ico" if free else "res/Quelvant.ico", not free)
