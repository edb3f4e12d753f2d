#!/usr/bin/env python3
"""Draws the check program's icon: a red lamp in a white rim on a grey
socket, 32 by 32 pixels, 16 colours, written as a .ico file.
Usage: tools/make-lamp-icon.py check/resources/lamp.ico"""
import struct
import sys

SIZE = 32
# The 16-colour VGA palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]  # listed as (r, g, b)
DARK_RED, GREY, DARK_GREY, RED, WHITE = 4, 7, 8, 12, 15


def pixel(x, y):
    """Colour index and transparency of one pixel (y = 0 is the top row)."""
    cx = cy = (SIZE - 1) / 2.0
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    if d2 > 15.5 ** 2:
        return 0, True                     # outside the socket: transparent
    if d2 > 14.0 ** 2:
        return DARK_GREY, False            # socket edge
    if d2 > 12.5 ** 2:
        return GREY, False                 # socket
    if d2 > 10.5 ** 2:
        return WHITE, False                # rim
    hx, hy = cx - 4, cy - 4                # highlight, upper left
    if (x - hx) ** 2 + (y - hy) ** 2 < 2.6 ** 2:
        return WHITE, False
    if d2 > 8.5 ** 2 and x + y > SIZE:     # shade, lower right
        return DARK_RED, False
    return RED, False


def build():
    xor_rows, and_rows = [], []
    for y in range(SIZE - 1, -1, -1):      # bottom-up
        xor = bytearray()
        bits = 0
        mask = bytearray()
        for x in range(0, SIZE, 2):
            a, _ = pixel(x, y)
            b, _ = pixel(x + 1, y)
            xor.append((a << 4) | b)
        for x in range(SIZE):
            _, t = pixel(x, y)
            bits = (bits << 1) | (1 if t else 0)
            if x % 8 == 7:
                mask.append(bits)
                bits = 0
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    image = (struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(b''.join(xor_rows)) + len(b''.join(and_rows)), 0, 0, 16, 0)
             + palette + b''.join(xor_rows) + b''.join(and_rows))
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as f:
        f.write(build())
