#!/usr/bin/env python3
"""Draws the installer's icon (resource 800) and writes it as a Windows .ico.

The picture: a compact disc at the upper right and a red arrow that leaves
it, bends down and points into a grey drive at the bottom. Two images,
32x32 and 16x16, each with the 16 colours of the standard Windows palette
in 4-bit BMP form with a transparency mask. The shapes are given in 32x32
coordinates and sampled at each pixel's centre; the small image reduces
the large one block by block, keeping the colours that carry the picture.

The output depends on nothing but this file: running it again writes the
same bytes. Usage: make_icon.py [OUTPUT] (default src/ui/resources/setup.ico
beside this script's repository).
"""

import math
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, SILVER, GREY = 0, 1, 7, 8
RED, GREEN, YELLOW, MAGENTA, CYAN, WHITE = 9, 10, 11, 13, 14, 15
CLEAR = None  # transparent

DISC_X, DISC_Y, DISC_R = 22.0, 9.5, 9.0


def disc(x, y):
    """The compact disc: rim, silver surface with a rainbow sheen, hub."""
    d = math.hypot(x - DISC_X, y - DISC_Y)
    if d > DISC_R:
        return CLEAR
    if d > DISC_R - 1.2:
        return GREY
    if d < 1.6:
        return CLEAR  # the centre hole
    if d < 3.4:
        return WHITE if d > 2.6 else GREY
    # Light caught along one diagonal, coloured as a disc's surface is.
    angle = math.degrees(math.atan2(y - DISC_Y, x - DISC_X)) % 180.0
    if 120.0 <= angle < 132.0:
        return CYAN
    if 132.0 <= angle < 144.0:
        return WHITE
    if 144.0 <= angle < 156.0:
        return MAGENTA
    if 156.0 <= angle < 164.0:
        return YELLOW
    return SILVER


def drive(x, y):
    """The drive: a grey box seen slightly from above, with a slot and a
    green light on its front."""
    if not (2.0 <= x < 30.0 and 21.0 <= y < 31.0):
        return CLEAR
    if x < 3.0 or x >= 29.0 or y < 22.0 or y >= 30.0:
        return BLACK  # outline
    if y < 24.0:
        return SILVER  # top face
    if 25.5 <= y < 27.5 and 6.0 <= x < 19.0:
        return BLACK  # slot
    if 25.5 <= y < 27.5 and 23.0 <= x < 26.0:
        return GREEN  # light
    return GREY  # front


# The arrow: from the disc's left edge it runs left, turns down around a
# quarter circle and ends in a head whose tip touches the drive.
BEND_X, BEND_Y = 10.5, 17.0  # centre of the turn
BEND_R, HALF = 5.0, 1.6      # radius of the stroke's centre line, half width
HEAD_TOP, HEAD_TIP, HEAD_HALF = 17.0, 22.5, 4.6


def arrow_distance(x, y):
    """Distance from (x, y) to the arrow's centre line (shaft only)."""
    top = BEND_Y - BEND_R
    if x >= BEND_X:  # straight part, left of the disc
        if x <= DISC_X - DISC_R + 1.0:
            return abs(y - top)
        return math.inf
    if y <= BEND_Y:  # the turn
        return abs(math.hypot(x - BEND_X, y - BEND_Y) - BEND_R)
    return math.inf


def arrow(x, y):
    shaft = arrow_distance(x, y)
    if shaft <= HALF:
        return RED if shaft <= HALF - 0.9 else DARK_RED
    # The head: a triangle pointing down on the end of the turn.
    cx = BEND_X - BEND_R
    if HEAD_TOP <= y <= HEAD_TIP:
        half = HEAD_HALF * (HEAD_TIP - y) / (HEAD_TIP - HEAD_TOP)
        if abs(x - cx) <= half:
            return RED if abs(x - cx) <= half - 0.9 and y >= HEAD_TOP + 0.8 \
                else DARK_RED
    return CLEAR


def pixel(x, y):
    """Colour at a point in 32x32 coordinates; the arrow lies in front of
    the disc and the drive."""
    for layer in (arrow, drive, disc):
        colour = layer(x, y)
        if colour is not CLEAR:
            return colour
    return CLEAR


# When four pixels of the large image become one of the small image, the
# colour that carries the picture wins: the arrow, then the outlines and
# details, then the surfaces.
PRIORITY = [RED, DARK_RED, BLACK, GREEN, CYAN, MAGENTA, YELLOW, GREY, WHITE,
            SILVER]


def render(size):
    """The image at size x size pixels: the 32x32 drawing, or every 2x2
    block of it reduced to one pixel by PRIORITY (clear only when all four
    are)."""
    large = [[pixel(col + 0.5, row + 0.5) for col in range(32)]
             for row in range(32)]
    if size == 32:
        return large
    assert size == 16
    small = []
    for row in range(16):
        line = []
        for col in range(16):
            block = [large[2 * row + dy][2 * col + dx]
                     for dy in (0, 1) for dx in (0, 1)]
            present = [c for c in PRIORITY if c in block]
            line.append(present[0] if present else CLEAR)
        small.append(line)
    return small


def bmp_image(rows):
    """A 4-bit icon image: header, palette, colour rows and mask rows, both
    bottom-up and padded to four bytes."""
    size = len(rows)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for col, value in enumerate(row):
            index = 0 if value is CLEAR else value
            if col % 2 == 0:
                line[col // 2] |= index << 4
            else:
                line[col // 2] |= index
            if value is CLEAR:
                bits[col // 8] |= 0x80 >> (col % 8)
        colour += line
        mask += bits
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0)
                       for (r, g, b) in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(sizes):
    images = [bmp_image(render(size)) for size in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(image),
                           offset)
        offset += len(image)
    return out + b''.join(images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, '..', 'src', 'ui', 'resources', 'setup.ico')
    target = sys.argv[1] if len(sys.argv) > 1 else default
    with open(target, 'wb') as f:
        f.write(icon_file([32, 16]))


if __name__ == '__main__':
    main()
