#!/usr/bin/env python3
"""Draws the window's pictures: the background picture (resource 138, 200 by 255 pixels,
8 bits per pixel), the application icon (resource 128) and the desktop entry's icon.
A tarn in a hollow between hills, under a pale sky. Run from anywhere; the files are
written into the tree, and the same script always draws the same bytes."""
import math
import os
import struct
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(path, width, height, rows, colour_type, palette=None):
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    depth = 8
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    if palette is not None:
        png += chunk(b"PLTE", b"".join(bytes(c) for c in palette))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


SKY_TOP = (214, 232, 232)
SKY_LOW = (178, 212, 210)
FAR_HILL = (132, 168, 150)
NEAR_HILL = (98, 138, 112)
WATER = (86, 132, 160)
WATER_LIGHT = (170, 206, 220)


def scene(u, v):
    """The landscape at u (0 left, 1 right), v (0 top, 1 bottom), as RGB floats."""
    colour = mix(SKY_TOP, SKY_LOW, v / 0.6)
    far = 0.50 + 0.06 * math.sin(u * 5.0 + 0.7) + 0.03 * math.sin(u * 13.0)
    if v > far:
        colour = mix(FAR_HILL, NEAR_HILL, (v - far) * 2.0)
    # The hollow: the near hills dip towards the middle, where the tarn lies.
    near = 0.68 + 0.10 * math.cos((u - 0.5) * math.pi * 1.6) ** 2 - 0.12
    if v > near:
        colour = mix(NEAR_HILL, (72, 108, 84), (v - near) * 3.0)
    dx, dy = (u - 0.5) / 0.36, (v - 0.74) / 0.07
    if dx * dx + dy * dy < 1.0:
        ripple = 0.5 + 0.5 * math.sin(v * 180.0 + u * 9.0)
        colour = mix(WATER, WATER_LIGHT, 0.25 * ripple + 0.35 * (1.0 - dy * dy) * max(0.0, 1.0 - abs(dx) / 0.6))
    return colour


def background():
    width, height = 200, 255
    # A light wash over the scene keeps the controls' text readable.
    pixels = [[mix(scene(x / (width - 1), y / (height - 1)), (240, 248, 246), 0.35) for x in range(width)]
              for y in range(height)]
    palette, index, rows = [], {}, []
    for row in pixels:
        out = []
        for c in row:
            key = tuple(int(round(ch / 4.0)) * 4 for ch in c)
            key = tuple(min(255, k) for k in key)
            if key not in index:
                index[key] = len(palette)
                palette.append(key)
            out.append(index[key])
        rows.append(out)
    if len(palette) > 256:
        raise SystemExit("the background needs %d colours; an 8-bit picture holds 256" % len(palette))
    write_png(os.path.join(ROOT, "resources/window/background.png"), width, height, rows, 3, palette)


def icon(size, path):
    samples = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / size
                    v = (y + (sy + 0.5) / samples) / size
                    # A disc of the landscape, framed by the dialog's colour.
                    r = math.hypot(u - 0.5, v - 0.5)
                    if r > 0.48:
                        continue
                    c = scene(u, 0.25 + v * 0.75) if r < 0.42 else (151, 192, 192)
                    if 0.42 <= r and r < 0.44:
                        c = (60, 96, 96)
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    acc[3] += 255
            n = samples * samples
            alpha = acc[3] / n
            if alpha == 0:
                row += [0, 0, 0, 0]
            else:
                scale = 255.0 / acc[3]
                row += [int(round(acc[i] * scale)) for i in range(3)] + [int(round(alpha))]
        rows.append(row)
    write_png(os.path.join(ROOT, path), size, size, rows, 6)


if __name__ == "__main__":
    background()
    icon(48, "resources/window/icon.png")
    icon(128, "packaging/tarnhollow.png")
