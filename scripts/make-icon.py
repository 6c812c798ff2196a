#!/usr/bin/env python3
"""Draws the program icon, a mouse under a red "no" sign, as a 16-colour .ico holding a
32x32 and a 16x16 picture. Run it again after changing the drawing; the .ico is committed."""
import struct
import sys

# The 16-colour standard palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, GREY, SILVER, RED, WHITE = 0, 8, 7, 9, 15


def draw(size):
    """Returns rows of palette indices, None meaning transparent, top row first."""
    s = size / 32.0
    pixels = [[None] * size for _ in range(size)]
    cx, cy = size / 2 - 0.5, size / 2 - 0.5
    for y in range(size):
        for x in range(size):
            # Mouse body: an upright rounded shape in the middle.
            mx, my = (x - cx) / (8.5 * s), (y - cy) / (12.5 * s)
            if mx * mx + my * my <= 1.0:
                inner = mx * mx + my * my <= 0.72
                pixels[y][x] = WHITE if inner else BLACK
                if inner and abs(x - cx) < 0.6 * s + 0.5 and y < cy:
                    pixels[y][x] = GREY  # the line between the two buttons
                if inner and abs(y - (cy - 2 * s)) < 0.6 * s + 0.5:
                    pixels[y][x] = GREY  # the lower edge of the buttons
            # The "no" sign: a red ring with a slash from top left to bottom right.
            dx, dy = x - cx, y - cy
            r = (dx * dx + dy * dy) ** 0.5
            if 12.0 * s <= r <= 15.5 * s:
                pixels[y][x] = RED
            elif r < 12.0 * s and abs(dx - dy) <= 2.2 * s:
                pixels[y][x] = RED
    return pixels


def image_entry(size):
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # bitmaps are stored bottom-up
        nibbles = [0 if p is None else p for p in row]
        data = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(data + b"\0" * (-len(data) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def main(path):
    images = [(32, image_entry(32)), (16, image_entry(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/Quelvant.ico")
