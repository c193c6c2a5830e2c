#!/usr/bin/env python3
"""Draws the About window's 54 x 54 program image and writes it as about.bmp beside this script.

Standard library only. The image is a 24-bit bitmap, so it has no transparency: the tile fills the
whole square instead of relying on a background colour that differs between systems. It repeats the
program icon's motif, a white double chevron on blue, with a few speed streaks behind it. Each pixel
is sampled 4 x 4 times for smooth edges. Run it again after changing the drawing; commit about.bmp
with it.
"""
import math
import os
import struct

SIZE = 54
SUPERSAMPLE = 4


def rgb(hex_color):
    v = int(hex_color.lstrip('#'), 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255)


def lerp(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def distance_to_segment(x, y, x1, y1, x2, y2):
    dx, dy = x2 - x1, y2 - y1
    t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (x1 + t * dx), y - (y1 + t * dy))


def near_polyline(x, y, points, half_width):
    return any(distance_to_segment(x, y, *points[i], *points[i + 1]) <= half_width for i in range(len(points) - 1))


WHITE = (1.0, 1.0, 1.0)
TOP = rgb('#4a9bef')
BOTTOM = rgb('#1646a8')
EDGE = rgb('#0f3580')
STREAK = rgb('#8cc0f7')
SHADOW = rgb('#0c2c6e')


def chevrons(x, y, dx=0.0, dy=0.0):
    for offset in (0.0, 0.24):
        points = [(0.30 + offset + dx, 0.24 + dy), (0.54 + offset + dx, 0.5 + dy), (0.30 + offset + dx, 0.76 + dy)]
        if near_polyline(x, y, points, 0.07):
            return True
    return False


def paint(x, y):
    """The colour of a point of the unit square."""
    if x < 0.03 or x > 0.97 or y < 0.03 or y > 0.97:
        return EDGE
    pixel = lerp(TOP, BOTTOM, (y - 0.03) / 0.94)
    # Streaks trailing to the left of the chevrons: entries swept out of the way.
    for top, length in ((0.34, 0.22), (0.5, 0.3), (0.66, 0.22)):
        if abs(y - top) <= 0.025 and 0.3 - length <= x <= 0.3:
            pixel = lerp(pixel, STREAK, 0.8)
    if chevrons(x, y, 0.025, 0.03):
        pixel = lerp(pixel, SHADOW, 0.6)
    if chevrons(x, y):
        pixel = WHITE
    return pixel


def render():
    """Rows of (r, g, b) bytes, top row first."""
    n = SUPERSAMPLE
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    colour = paint((px + (sx + 0.5) / n) / SIZE, (py + (sy + 0.5) / n) / SIZE)
                    for i in range(3):
                        acc[i] += colour[i]
            row.append(tuple(int(round(255 * c / (n * n))) for c in acc))
        rows.append(row)
    return rows


def bmp_bytes(rows):
    """A 24-bit BI_RGB bitmap file: rows bottom-up, BGR, each padded to four bytes."""
    height = len(rows)
    width = len(rows[0])
    stride = (width * 3 + 3) // 4 * 4
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    offset = 14 + len(info)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    return header + info + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, 'about.bmp'), 'wb') as f:
        f.write(bmp_bytes(render()))


if __name__ == '__main__':
    main()
