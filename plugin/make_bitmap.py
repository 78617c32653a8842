#!/usr/bin/env python3
"""Writes Marquill.bmp, the 16 x 16 toolbar picture of the command.

8 bits per pixel, a 256-entry palette, uncompressed (BI_RGB): a page of grey
text lines, each headed by a red greater-than mark, and at the lower left a
small box holding an upward blue triangle.
Usage: make_bitmap.py [output path]  (default: Marquill.bmp beside this script)
"""
import os
import struct
import sys

W = H = 16
# Palette indices.
SILVER, BLACK, WHITE, GREY, RED, BLUE, DARK = range(7)
COLOURS = {
    SILVER: (192, 192, 192),
    BLACK: (0, 0, 0),
    WHITE: (255, 255, 255),
    GREY: (128, 128, 128),
    RED: (224, 0, 0),
    BLUE: (0, 64, 224),
    DARK: (64, 64, 64),
}


def picture():
    px = [[SILVER] * W for _ in range(H)]  # px[y][x], y = 0 at the top

    def put(x, y, c):
        px[y][x] = c

    def box(left, top, right, bottom, fill, edge):  # inclusive corners
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                inside = left < x < right and top < y < bottom
                put(x, y, fill if inside else edge)

    # The page: white with a dark outline and a folded corner.
    box(4, 0, 15, 15, WHITE, DARK)
    put(14, 1, GREY)
    put(13, 1, GREY)
    put(14, 2, GREY)
    # The red '>' heading the text.
    for x, y in ((6, 2), (7, 3), (8, 4), (7, 5), (6, 6)):
        put(x, y, RED)
    # Grey text lines.
    for y, x0 in ((4, 10), (8, 6), (11, 8), (13, 8)):
        for x in range(x0, 14):
            put(x, y, GREY)
    # The box at the lower left with an upward blue triangle.
    box(0, 9, 6, 15, WHITE, BLACK)
    put(3, 11, BLUE)
    for x in range(2, 5):
        put(x, 12, BLUE)
    for x in range(1, 6):
        put(x, 13, BLUE)
    return px


def bmp_bytes(px):
    row = (W + 3) & ~3
    image = bytearray()
    for y in reversed(range(H)):  # bottom-up rows
        line = bytes(px[y]) + b"\0" * (row - W)
        image += line
    palette = bytearray()
    for i in range(256):
        r, g, b = COLOURS.get(i, (0, 0, 0))
        palette += bytes((b, g, r, 0))
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(image), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return header + info + bytes(palette) + bytes(image)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "Marquill.bmp")
    with open(out, "wb") as f:
        f.write(bmp_bytes(picture()))


if __name__ == "__main__":
    main()
