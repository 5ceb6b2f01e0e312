#!/usr/bin/env python3
"""Draws the drag marker (bitmap 600) into dragmarker.bmp: 32x32, 16 colours, two black
footprints over a yellow folder on white. White is the transparent colour: the marker is
blitted with it left out, so nothing of the drawing itself may be white. Run by hand when
the design changes; the build uses the committed .bmp."""
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


def bmp(px):
    row = SIZE // 2                                  # two pixels a byte, 16 bytes a row
    pixels = bytearray()
    for y in range(SIZE - 1, -1, -1):                # bottom-up rows
        for x in range(0, SIZE, 2):
            pixels.append(px[y][x] << 4 | px[y][x + 1])
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE)
    info = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 4, 0, row * SIZE, 0, 0, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main(out):
    with open(out, 'wb') as f:
        f.write(bmp(draw()))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'dragmarker.bmp')
