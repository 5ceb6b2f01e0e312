#!/usr/bin/env python3
"""Draws the drag marker into dragmarker.bmp (bitmap 600, 32x32, for 100 % display
scale) and dragmarker-40/48/56/64.bmp (bitmaps 601 to 604, for 125 %, 150 %, 175 % and
200 %): 4 bits a pixel, run-length encoded (BI_RLE4), with the four colours it uses
(of the standard 16): two black footprints over a yellow folder on white. White is the
transparent colour: the marker is blitted with it left out, so nothing of the drawing
itself may be white. The larger ones are drawn from the same 32 x 32 design, each pixel
taking the colour of the design at its centre: no blending, so no near-white fringe stays
opaque around the keyed-out white. Run by hand when the design changes; the build uses
the committed .bmp files."""
import os
import struct
import sys

SIZE = 32
# The 16-colour palette of the standard VGA order (RGB); the drawing uses four of it.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, OLIVE, YELLOW, WHITE = 0, 3, 11, 15


def draw():
    px = [[WHITE] * SIZE for _ in range(SIZE)]

    def rect(x0, y0, x1, y1, colour):      # x1, y1 exclusive
        for y in range(y0, y1):
            for x in range(x0, x1):
                px[y][x] = colour

    def sprite(x0, y0, rows, colour):
        for y, line in enumerate(rows):
            for x, c in enumerate(line):
                if c == '#':
                    px[y0 + y][x0 + x] = colour

    # The folder: a tab on the upper left, the body below it, each with a darker rim.
    rect(2, 4, 13, 8, OLIVE)
    rect(3, 5, 12, 8, YELLOW)
    rect(1, 7, 31, 29, OLIVE)
    rect(2, 8, 30, 28, YELLOW)

    # Two footprints walking up to the right: toes, sole and heel each.
    foot = ['#.#.#',
            '.....',
            '.###.',
            '#####',
            '#####',
            '#####',
            '.###.',
            '.....',
            '.###.',
            '.###.']
    sprite(8, 16, foot, BLACK)
    sprite(19, 10, foot, BLACK)
    return px


def scaled(px, size):
    """The 32 x 32 design at size x size: each pixel the colour of the design at its
    centre. Every design column (and row) becomes whole pixels, the same ones all the way
    down (and across), so the shapes keep their edges straight."""
    return [[px[(2 * y + 1) * SIZE // (2 * size)][(2 * x + 1) * SIZE // (2 * size)]
             for x in range(size)] for y in range(size)]


# The colours the drawing uses, in the order of the bitmaps' palette: the pixels index this
# short palette, not the full one.
USED = (BLACK, OLIVE, YELLOW, WHITE)


def rle4(px):
    """The pixels run-length encoded, 4 bits a pixel (BI_RLE4), bottom-up rows: a run of
    one colour is a count byte and a byte of that colour twice; a row ends with 0 0, the
    bitmap with 0 1. Large areas of one colour make the file a fraction of its plain size."""
    size = len(px)
    out = bytearray()
    for y in range(size - 1, -1, -1):
        x = 0
        while x < size:
            c = USED.index(px[y][x])
            n = 1
            while x + n < size and n < 255 and px[y][x + n] == px[y][x]:
                n += 1
            out += bytes((n, c << 4 | c))
            x += n
        out += b'\x00\x01' if y == 0 else b'\x00\x00'
    return bytes(out)


def unrle4(data, size):
    """The pixels back from rle4's encoding (as palette colours), to check it."""
    px = [[None] * size for _ in range(size)]
    x, y, i = 0, size - 1, 0
    while True:
        n, c = data[i], data[i + 1]
        i += 2
        if n == 0 and c == 1:
            return px
        if n == 0 and c == 0:
            x, y = 0, y - 1
            continue
        assert n > 0, 'rle4 writes no other escapes'
        for k in range(n):
            px[y][x] = USED[c >> 4 if k % 2 == 0 else c & 15]
            x += 1


def bmp(px):
    size = len(px)
    pixels = rle4(px)
    assert unrle4(pixels, size) == px
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in (PALETTE[c] for c in USED))
    info = struct.pack('<IiiHHIIiiII', 40, size, size, 1, 4, 2, len(pixels), 0, 0,
                       len(USED), 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


# Sizes and files: 100 %, 125 %, 150 %, 175 % and 200 % of the 32 x 32 marker.
SIZES = ((32, 'dragmarker.bmp'), (40, 'dragmarker-40.bmp'), (48, 'dragmarker-48.bmp'),
         (56, 'dragmarker-56.bmp'), (64, 'dragmarker-64.bmp'))


def main(folder):
    design = draw()
    for size, name in SIZES:
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(bmp(scaled(design, size)))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
