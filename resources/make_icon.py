#!/usr/bin/env python3
"""Draws Trailkeeper's program icon (a folder with a trail of footprints) into
trailkeep.ico: one frame for the small-icon size of each common display scale (16, 20,
24, 32, 40 and 48 pixels: 100 % to 300 % of 16, and the large icon of 100 % to 150 %),
16 colours with an AND mask: the design has four colours, which 4 bits a pixel hold
exactly in a quarter of the space 32-bit frames take (Trailkeep.exe carries the icon). Windows picks the frame of the size it asks for, so no
frame is shrunk or stretched at these scales. Run by hand when the design changes; the
build uses the committed .ico (resource 400 in trailkeep.rc)."""
import struct
import sys

FOLDER = (0x2E, 0xB8, 0xF5)   # BGR: warm yellow
EDGE = (0x10, 0x6A, 0xB0)     # BGR: darker rim
TAB = (0x4A, 0xD0, 0xFF)      # BGR: lighter tab
STEP = (0x30, 0x30, 0x50)     # BGR: dark footprints


def draw(size):
    s = size / 32.0
    px = [[None] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    rect(2, 6, 14, 10, TAB)          # folder tab
    rect(2, 9, 30, 28, EDGE)         # body rim
    rect(3, 10, 29, 27, FOLDER)      # body
    # A trail of footprints walking up to the right.
    for (x, y) in ((6, 22), (11, 19), (16, 20), (21, 16), (25, 13)):
        rect(x, y, x + 3, y + 4, STEP)
    return px


PALETTE = ((0, 0, 0), FOLDER, EDGE, TAB, STEP)  # index 0: the transparent pixels


def dib(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = bytearray()
    for k in range(16):
        c = PALETTE[k] if k < len(PALETTE) else (0, 0, 0)
        palette += bytes((c[0], c[1], c[2], 0))
    colour = bytearray()
    row = ((size * 4 + 31) // 32) * 4
    for y in range(size - 1, -1, -1):           # bottom-up rows, two pixels a byte
        line = bytearray(row)
        for x in range(size):
            c = px[y][x]
            index = PALETTE.index(c) if c else 0
            line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colour += line
    row = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in range(size - 1, -1, -1):
        bits = bytearray(row)
        for x in range(size):
            if px[y][x] is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + colour + mask


SIZES = (16, 20, 24, 32, 40, 48)


def main(out):
    images = [dib(size) for size in SIZES]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    for image in images:
        data += image
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'trailkeep.ico')
