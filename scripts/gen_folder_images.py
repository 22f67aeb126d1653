#!/usr/bin/env python3
"""Draws bitmap 201, the folder tree's images: one 48 x 16 24-bit bitmap holding three 16 x 16
images on white, the image list's mask colour:
  0  a closed yellow envelope (the mailbox),
  1  an empty check box (folder not selected),
  2  a ticked check box (folder selected).

usage: gen_folder_images.py OUTPUT.bmp
"""

import struct
import sys

SIZE = 16
COUNT = 3
WHITE = (255, 255, 255)
# The inside of a check box: just off white, so the mask leaves it opaque.
BOX_FILL = (254, 254, 254)
BOX_EDGE = (128, 128, 128)
TICK = (0, 0, 0)
ENVELOPE = (255, 214, 32)
ENVELOPE_EDGE = (128, 96, 0)

# The check box's corners, inclusive, and the tick's pixels inside it.
BOX = (1, 1, 13, 13)
TICK_PIXELS = [(x, y) for x, y0 in ((4, 6), (5, 7), (6, 8), (7, 7), (8, 6), (9, 5), (10, 4))
               for y in (y0, y0 + 1, y0 + 2)]


def _envelope(put):
    left, top, right, bottom = 1, 3, 14, 12
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            put(x, y, ENVELOPE_EDGE if edge else ENVELOPE)
    # The closed flap: two lines from the upper corners meeting below the middle.
    for i in range(0, 7):
        put(left + 1 + i, top + 1 + i * 5 // 6, ENVELOPE_EDGE)
        put(right - 1 - i, top + 1 + i * 5 // 6, ENVELOPE_EDGE)


def _box(put, ticked):
    left, top, right, bottom = BOX
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = x in (left, right) or y in (top, bottom)
            put(x, y, BOX_EDGE if edge else BOX_FILL)
    if ticked:
        for x, y in TICK_PIXELS:
            put(x, y, TICK)


def draw():
    """The pixels, rows top down, each row a list of (r, g, b)."""
    pixels = [[WHITE] * (SIZE * COUNT) for _ in range(SIZE)]

    def painter(index):
        def put(x, y, colour):
            pixels[y][index * SIZE + x] = colour
        return put

    _envelope(painter(0))
    _box(painter(1), ticked=False)
    _box(painter(2), ticked=True)
    return pixels


def bmp_bytes(pixels):
    """A bottom-up 24-bit BI_RGB .bmp file of the pixels."""
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    rows = []
    for row in reversed(pixels):
        data = b"".join(bytes((b, g, r)) for r, g, b in row)
        rows.append(data + b"\0" * (stride - len(data)))
    image = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    return header + info + image


def main(argv):
    if len(argv) != 1:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    with open(argv[0], "wb") as f:
        f.write(bmp_bytes(draw()))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
