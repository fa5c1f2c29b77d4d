#!/usr/bin/env python3
"""Draws the program's icon, a dive-watch face, as a .ico file holding
128, 64 and 32 pixel images of 24 bits per pixel with a transparency mask,
or as PNG images (8-bit RGBA) of any size from the same drawing.

Usage: make_icon.py OUTPUT.ico
       make_icon.py --png SIZE OUTPUT.png [--png SIZE OUTPUT.png ...]
"""
import math
import struct
import sys
import zlib

SIZES = (128, 64, 32)

STRAP = (52, 56, 64)
CASE = (24, 40, 72)
BEZEL = (230, 140, 20)
DIAL = (16, 64, 110)
MARK = (240, 244, 248)
HOUR_HAND = (240, 244, 248)
MINUTE_HAND = (240, 244, 248)
SECOND_HAND = (230, 60, 40)


def segment_distance(px, py, ax, ay, bx, by):
    """Distance of point p from the segment a-b."""
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def hand_end(c, length, minutes):
    angle = math.radians(minutes * 6.0)
    return c + length * math.sin(angle), c - length * math.cos(angle)


def pixel(size, x, y):
    """Colour of one pixel, or None where the icon is transparent."""
    c = (size - 1) / 2.0
    px, py = x, y
    r = math.hypot(px - c, py - c)
    outer = size * 0.40
    if r <= outer * 0.74:
        colour = DIAL
        # Twelve hour marks, the one at twelve longer.
        angle = (math.degrees(math.atan2(px - c, c - py)) + 360.0) % 360.0
        nearest = round(angle / 30.0) * 30.0
        off = abs(angle - nearest) * math.pi / 180.0 * r
        long_mark = nearest % 360.0 == 0.0
        inner = outer * (0.50 if long_mark else 0.58)
        if inner <= r <= outer * 0.70 and off <= max(0.8, size / 64.0):
            colour = MARK
        # Hands at ten past ten, seconds at thirty-five.
        width = max(0.9, size / 40.0)
        hx, hy = hand_end(c, outer * 0.38, 50 + 10 / 12.0 * 5)
        mx, my = hand_end(c, outer * 0.60, 10)
        sx, sy = hand_end(c, outer * 0.66, 35)
        if segment_distance(px, py, c, c, hx, hy) <= width * 1.3:
            colour = HOUR_HAND
        elif segment_distance(px, py, c, c, mx, my) <= width:
            colour = MINUTE_HAND
        elif size >= 64 and segment_distance(px, py, c, c, sx, sy) <= width * 0.5:
            colour = SECOND_HAND
        if r <= width * 1.6:
            colour = SECOND_HAND
        return colour
    if r <= outer * 0.88:
        return BEZEL
    if r <= outer:
        return CASE
    if abs(px - c) <= size * 0.20 and (py < c - outer * 0.5 or py > c + outer * 0.5):
        return STRAP
    return None


def image(size):
    """One BMP-in-ICO image: header, bottom-up 24-bit colours, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    colour_row = (size * 3 + 3) & ~3
    mask_row = ((size + 31) // 32) * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray()
        bits = bytearray(mask_row)
        for x in range(size):
            c = pixel(size, x, y)
            if c is None:
                row += b"\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                row += bytes((c[2], c[1], c[0]))
        row += bytes(colour_row - len(row))
        colours += row
        mask += bits
    return header + bytes(colours) + bytes(mask)


def png(size):
    """One PNG image: 8-bit RGBA, transparent where the icon has no colour."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # filter type: none
        for x in range(size):
            c = pixel(size, x, y)
            raw += b"\0\0\0\0" if c is None else bytes((c[0], c[1], c[2], 255))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def ico():
    images = [image(s) for s in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    return out


def usage():
    sys.exit(__doc__.strip())


def main():
    args = sys.argv[1:]
    if len(args) == 1 and not args[0].startswith("--"):
        with open(args[0], "wb") as f:
            f.write(ico())
        return
    if not args or len(args) % 3 != 0:
        usage()
    jobs = []
    for i in range(0, len(args), 3):
        flag, size, out = args[i:i + 3]
        if flag != "--png" or not size.isdigit() or not 16 <= int(size) <= 1024:
            usage()
        jobs.append((int(size), out))
    for size, out in jobs:
        with open(out, "wb") as f:
            f.write(png(size))


if __name__ == "__main__":
    main()
