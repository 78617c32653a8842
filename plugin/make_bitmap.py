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

    # The page: white with a dark outline and a folded corner.
    for y in range(0, 16):
        for x in range(4, 16):
            put(x, y, WHITE)
    for x in range(4, 16):
        put(x, 0, DARK)
        put(x, 15, DARK)
    for y in range(0, 16):
        put(4, y, DARK)
        put(15, y, DARK)
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
    for y in range(9, 16):
        for x in range(0, 7):
            put(x, y, WHITE)
    for x in range(0, 7):
        put(x, 9, BLACK)
        put(x, 15, BLACK)
    for y in range(9, 16):
        put(0, y, BLACK)
        put(6, y, BLACK)
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
