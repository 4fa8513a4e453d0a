#!/usr/bin/env python3
"""Draws the built-in icons (folder, file, blue ball) as small GIF files.

Run once by hand when an icon changes; the GIFs are committed under resources/content/.
"""
import math
import struct
import sys


def lzw_stream(indices, min_code_size=8):
    """Encodes palette indices with a clear code before the code width would grow,
    which keeps every code 9 bits wide: simple and valid for any decoder."""
    clear = 1 << min_code_size
    end = clear + 1
    codes = []
    run = 0
    for i, px in enumerate(indices):
        if run == 0:
            codes.append(clear)
        codes.append(px)
        run += 1
        if run == (1 << (min_code_size + 1)) - clear - 3:
            run = 0
    codes.append(end)
    out = bytearray()
    bits = 0
    nbits = 0
    for c in codes:
        bits |= c << nbits
        nbits += min_code_size + 1
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        chunk = out[i:i + 255]
        blocks.append(len(chunk))
        blocks += chunk
    blocks.append(0)
    return bytes([min_code_size]) + bytes(blocks)


def gif(width, height, palette, pixels, transparent=None):
    size = 256
    pal = list(palette) + [(0, 0, 0)] * (size - len(palette))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0xF7, 0, 0)
    for r, g, b in pal:
        data += bytes([r, g, b])
    if transparent is not None:
        data += bytes([0x21, 0xF9, 4, 1, 0, 0, transparent, 0])
    data += b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    data += lzw_stream(pixels)
    data += b"\x3b"
    return bytes(data)


def folder():
    w, h = 16, 16
    pal = [(255, 255, 255), (120, 90, 20), (240, 196, 70), (255, 222, 120)]
    px = [0] * (w * h)
    for y in range(h):
        for x in range(w):
            tab = 2 <= y <= 4 and 1 <= x <= 6
            body = 4 <= y <= 13 and 0 <= x <= 15
            if tab or body:
                edge = x in (0, 15) or y in (13,) or (tab and y == 2) or (body and y == 4 and x > 6)
                px[y * w + x] = 1 if edge else (3 if y <= 6 else 2)
    return gif(w, h, pal, px, transparent=0)


def page():
    w, h = 16, 16
    pal = [(255, 255, 255), (70, 70, 90), (250, 250, 252), (150, 170, 200)]
    px = [0] * (w * h)
    for y in range(1, 15):
        for x in range(3, 13):
            fold = x - 3 > 6 + (y - 1) - 3 and y < 5
            if fold:
                continue
            edge = x in (3, 12) or y in (1, 14) or (x - 3 == 6 + (y - 1) - 3 + 1 and y < 5) or (y == 4 and x >= 9)
            px[y * w + x] = 1 if edge else 2
    for y in (6, 8, 10, 12):
        for x in range(5, 11):
            px[y * w + x] = 3
    return gif(w, h, pal, px, transparent=0)


def ball():
    w = h = 14
    pal = [(255, 255, 255)] + [(int(20 + 60 * t), int(60 + 110 * t), int(150 + 105 * t)) for t in [i / 15 for i in range(16)]]
    px = [0] * (w * h)
    cx = cy = 6.5
    for y in range(h):
        for x in range(w):
            d = math.hypot(x - cx, y - cy)
            if d <= 6.6:
                light = 1 - min(1, math.hypot(x - 4.5, y - 4.0) / 9)
                px[y * w + x] = 1 + int(light * 15)
    return gif(w, h, pal, px, transparent=0)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/content"
    for name, maker in (("folder.gif", folder), ("file.gif", page), ("blue-ball-small.gif", ball)):
        with open(f"{out}/{name}", "wb") as f:
            f.write(maker())
