#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the six LED template bitmaps (4-bit BMP) beside this script.

The templates are drawn in the key colour RGB(0,255,0) where the lens is; the
LED control recolours that region at run time. Run once after editing the maps
below and commit the .bmp files; the build does not run this script.
"""
import os
import struct

# The 16-colour palette, in the usual order; K M S G L W index into it.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {"K": 0, "M": 1, "S": 7, "G": 8, "L": 10, "W": 15}

ROUND_SMALL = """
SSSSSMMKKKSSSSS
SSSMKKKKKKKKSSS
SSMMKLLLLLKMKSS
SMMKLLSSLLLKMKS
SKKLWWLLLLLLKKS
MKLLWLLLLLLLLKK
MKLSLLLLLLLLLKK
KKLSLLLLLLLLLKK
KKLLLLLLLLLGLKK
KKLLLLLLLLGLLKK
SKKLLLLLLGLLKKS
SKMKLLLLLLLKMKS
SSKMKLLLLLKMKSS
SSSKKKKKKKKMSSS
SSSSSKKKKKSSSSS
"""

ROUND_LARGE = """
WWWWWWWWWWWWWWWWWWWWWW
WSSSSSSSKKKKKKSSSSSSSG
WSSSSSKKWWWWWWKKSSSSSG
WSSSKKWWKKKKKKSSKKSSSG
WSSKWWKKLLLLLLKKSSKSSG
WSSKWKLLLLLLLLLLKSKSSG
WSKWKLLLWWLLLLLLLKSKSG
WSKWKLLWWLLLLLLLLKSKSG
WKWKLLWWLLLLLLLLLLKGKG
WKWKLLWLLLLLLLLLLLKGKG
WKWKLLLLLLLLLLLLLLKGKG
WKWKLWWLLLLLLLLLLLKGKG
WKWKLWWLLLLLLLLLLLKGKG
WKWKLLLLLLLLLLLLLLKGKG
WSKSKLLLLLLLLLLLLKGKSG
WSKSKLLLLLLLLLLLLKGKSG
WSSKSKLLLLLLLLLLKGKSSG
WSSKSSKKLLLLLLKKGGKSSG
WSSSKKSSKKKKKKGGKKSSSG
WSSSSSKKGGGGGGKKSSSSSG
WSSSSSSSKKKKKKSSSSSSSG
GGGGGGGGGGGGGGGGGGGGGG
"""


def framed(width, height, highlight, grey_bottom_left=False):
    """A rectangular template: four one-pixel rings around a key-colour lens."""
    rows = [["L"] * width for _ in range(height)]

    def ring(inset, top_left, bottom_right):
        x0, y0, x1, y1 = inset, inset, width - 1 - inset, height - 1 - inset
        for x in range(x0, x1 + 1):
            rows[y1][x] = bottom_right
        for y in range(y0, y1 + 1):
            rows[y][x1] = bottom_right
        # The top row and the left column are drawn last, so they own the
        # top-right and bottom-left corners.
        for x in range(x0, x1 + 1):
            rows[y0][x] = top_left
        for y in range(y0, y1 + 1):
            rows[y][x0] = top_left

    ring(0, "W", "G")
    ring(1, "K", "K")
    ring(2, "S", "G")
    ring(3, "K", "K")
    if grey_bottom_left:
        rows[height - 3][2] = "G"
    for x, y in highlight:
        rows[y][x] = "W"
    return ["".join(r) for r in rows]


TEMPLATES = {
    "ALEDSM": ROUND_SMALL.split(),
    "ALEDLG": ROUND_LARGE.split(),
    "ALEDSQSM": framed(16, 16, [(6, 5), (7, 5), (8, 5), (5, 6), (6, 6), (5, 7)]),
    "ALEDSQLG": framed(22, 22, [(8, 6), (9, 6), (7, 7), (8, 7), (6, 8), (7, 8), (6, 9)]),
    "ALEDVT": framed(14, 22, [(6, 5), (7, 5), (5, 6), (6, 6), (5, 7), (5, 8)]),
    "ALEDHZ": framed(22, 14, [(6, 5), (7, 5), (8, 5), (5, 6), (6, 6), (5, 7)],
                     grey_bottom_left=True),
}


def bmp4(rows):
    """A bottom-up 4-bit BMP with the palette above."""
    width, height = len(rows[0]), len(rows)
    stride = ((width + 7) // 8) * 4  # two pixels a byte, rows padded to 4 bytes
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, letter in enumerate(row):
            value = INDEX[letter]
            line[x // 2] |= value << 4 if x % 2 == 0 else value
        pixels += line
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels),
                       2835, 2835, 16, 0)
    return header + info + palette + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in TEMPLATES.items():
        assert len({len(r) for r in rows}) == 1, name
        with open(os.path.join(here, name + ".bmp"), "wb") as f:
            f.write(bmp4(rows))


if __name__ == "__main__":
    main()
