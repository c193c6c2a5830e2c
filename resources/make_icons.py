#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files beside this script.

Standard library only. Each image is drawn from geometric shapes in a unit square, sampled 4 x 4
times per pixel for smooth edges, and stored as a 32-bit image with alpha plus the 1-bit mask
that older systems draw with. Run it again after changing a shape; commit the .ico files with it.
"""
import math
import os
import struct

SUPERSAMPLE = 4


def blend(dst, src):
    """Paints src (r, g, b, a with a in 0..1) over dst."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    out_a = sa + da * (1 - sa)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    mix = lambda s, d: (s * sa + d * da * (1 - sa)) / out_a
    return (mix(sr, dr), mix(sg, dg), mix(sb, db), out_a)


def render(size, paint):
    """paint(x, y) -> (r, g, b, a) for a point of the unit square; returns rows of RGBA bytes."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    r, g, b, a = paint(x, y)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            a = acc[3] / (n * n)
            if a > 0:
                color = tuple(int(round(255 * min(1.0, c / acc[3]))) for c in acc[:3])
            else:
                color = (0, 0, 0)
            row.append(color + (int(round(255 * a)),))
        rows.append(row)
    return rows


def rgb(hex_color, alpha=1.0):
    v = int(hex_color.lstrip('#'), 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, alpha)


def lerp(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c1, c2))


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom


def distance_to_segment(x, y, x1, y1, x2, y2):
    dx, dy = x2 - x1, y2 - y1
    t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (x1 + t * dx), y - (y1 + t * dy))


def near_polyline(x, y, points, half_width):
    return any(distance_to_segment(x, y, *points[i], *points[i + 1]) <= half_width for i in range(len(points) - 1))


TRANSPARENT = (0.0, 0.0, 0.0, 0.0)
WHITE = rgb('#ffffff')


def paint_program(x, y):
    """A blue tile with a white double chevron: entries swept out of the way of a faster start."""
    pixel = TRANSPARENT
    if in_rounded_rect(x, y, 0.04, 0.04, 0.96, 0.96, 0.2):
        pixel = lerp(rgb('#3d8ee6'), rgb('#1646a8'), y)
        if not in_rounded_rect(x, y, 0.09, 0.09, 0.91, 0.91, 0.16):
            pixel = rgb('#0f3580')
    if pixel[3] > 0:
        for offset in (0.0, 0.26):
            chevron = [(0.22 + offset, 0.26), (0.46 + offset, 0.5), (0.22 + offset, 0.74)]
            if near_polyline(x, y, chevron, 0.075):
                pixel = WHITE
    return pixel


def paint_tick(x, y):
    """A white tick on a green disc."""
    d = math.hypot(x - 0.5, y - 0.5)
    if d > 0.47:
        return TRANSPARENT
    pixel = lerp(rgb('#4cc24c'), rgb('#1e8a1e'), y)
    if d > 0.41:
        pixel = rgb('#16701a')
    if near_polyline(x, y, [(0.27, 0.52), (0.43, 0.68), (0.74, 0.34)], 0.075):
        pixel = WHITE
    return pixel


def paint_row_default(x, y):
    """A generic program window: frame, blue title bar, light body."""
    if not (0.06 <= x <= 0.94 and 0.12 <= y <= 0.88):
        return TRANSPARENT
    if not (0.1 <= x <= 0.9 and 0.16 <= y <= 0.84):
        return rgb('#40506a')
    if y < 0.32:
        pixel = lerp(rgb('#2f6fd0'), rgb('#1c4fa0'), (y - 0.16) / 0.16)
        if 0.76 <= x <= 0.85 and 0.2 <= y <= 0.28:
            pixel = rgb('#e04a3a')
        return pixel
    pixel = rgb('#f4f6f8')
    for top in (0.42, 0.54, 0.66):
        if 0.18 <= x <= 0.72 and top <= y <= top + 0.05:
            pixel = rgb('#a8b4c4')
    return pixel


def bmp_entry(rows):
    """The image data of one icon entry: BITMAPINFOHEADER, BGRA rows bottom-up, AND mask."""
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for row in reversed(rows):
        bits = bytearray(stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def write_ico(path, paint, sizes):
    images = [(size, bmp_entry(render(size, paint))) for size in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_ico(os.path.join(here, 'runsweep.ico'), paint_program, (16, 32, 48))
    write_ico(os.path.join(here, 'tick.ico'), paint_tick, (16,))
    write_ico(os.path.join(here, 'row_default.ico'), paint_row_default, (32,))


if __name__ == '__main__':
    main()
