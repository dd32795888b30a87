#!/usr/bin/env python3
"""Writes the pointing-hand cursor (resource 139) from the pixel art below.

'#' black outline, 'o' white, ' ' transparent. The hot spot is the fingertip.
Usage: python3 resources/art/hand-cursor.py  (writes resources/bmp/hand.cur)
"""
import os
import struct

ART = [
    "      ##           ",
    "     #oo#          ",
    "     #oo#          ",
    "     #oo#          ",
    "     #oo#          ",
    "     #oo###        ",
    "     #oo#oo###     ",
    "     #oo#oo#oo###  ",
    "     #oo#oo#oo#oo# ",
    " ##  #oo#oo#oo#oo# ",
    "#oo# #oo#oo#oo#oo# ",
    "#ooo##ooooooooooo# ",
    " #ooo#oooooooooooo#",
    "  #ooooooooooooooo#",
    "   #oooooooooooooo#",
    "   #ooooooooooooo# ",
    "    #oooooooooooo# ",
    "    #oooooooooooo# ",
    "     #oooooooooo#  ",
    "     #oooooooooo#  ",
    "     ############  ",
]
HOTSPOT = (6, 0)  # the top of the index finger
SIZE = 32


def rows_bits(pick):
    """32 rows of 32 bits, bottom-up as a DIB stores them."""
    out = b""
    for y in reversed(range(SIZE)):
        line = ART[y] if y < len(ART) else ""
        bits = 0
        for x in range(SIZE):
            ch = line[x] if x < len(line) else " "
            if pick(ch):
                bits |= 1 << (31 - x)
        out += struct.pack(">I", bits)
    return out


def main():
    xor = rows_bits(lambda c: c == "o")   # white where the hand is light
    mask = rows_bits(lambda c: c == " ")  # 1 = screen shows through
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 1, 0, len(xor) + len(mask), 0, 0, 2, 0)
    palette = struct.pack("<II", 0x000000, 0xFFFFFF)
    image = header + palette + xor + mask
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 2, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    data = struct.pack("<HHH", 0, 2, 1) + entry + image
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    with open(os.path.join(root, "bmp", "hand.cur"), "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
