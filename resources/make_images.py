#!/usr/bin/env python3
"""Draws the program's icon (16, 32 and 48 px) and the splash bitmap (400 x 200, 8 bits
per pixel with a 256-colour palette). Usage: make_images.py OUT_DIR"""
import math
import os
import struct
import sys


def shield(size):
    """RGBA pixels of a blue disc with a white clock hand and a green tick mark."""
    px = []
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    for y in range(size):
        row = []
        for x in range(size):
            d = math.hypot(x - c, y - c)
            if d > r:
                row.append((0, 0, 0, 0))
                continue
            col = (30, 90, 180, 255)
            if d > r - max(1.0, size / 16):
                col = (20, 50, 110, 255)
            # hands: up and to the right
            if abs(x - c) <= size / 24 + 0.3 and c - r * 0.7 <= y <= c:
                col = (255, 255, 255, 255)
            if abs(y - c) <= size / 24 + 0.3 and c <= x <= c + r * 0.55:
                col = (255, 255, 255, 255)
            row.append(col)
        px.append(row)
    return px


def ico_image(size):
    px = shield(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    and_rows = []
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    return header + xor + b''.join(and_rows)


def write_ico(path, sizes):
    images = [ico_image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def write_splash(path, w=400, h=200):
    # Palette: 0..191 a blue-to-teal gradient, 192..255 greys for the text band.
    pal = []
    for i in range(192):
        t = i / 191
        pal.append((int(20 + 20 * t), int(60 + 120 * t), int(140 + 60 * t)))
    for i in range(64):
        v = 255 - i * 3
        pal.append((v, v, v))
    pixels = bytearray()
    for y in reversed(range(h)):  # bottom-up rows
        for x in range(w):
            idx = int(191 * (x / (w - 1)) * 0.6 + 191 * (y / (h - 1)) * 0.4)
            # a white band with a darker frame in the lower third
            if 130 <= y <= 170 and 30 <= x <= 370:
                idx = 192 if (y in (130, 170) or x in (30, 370)) is False else 230
            # concentric rings as a simple emblem
            d = math.hypot(x - 200, y - 70)
            if 38 <= d <= 44 or 22 <= d <= 26:
                idx = 192
            pixels.append(idx)
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    filehdr = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(filehdr + info + palette + bytes(pixels))


if __name__ == '__main__':
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'mainicon.ico'), [16, 32, 48])
    write_splash(os.path.join(out, 'splash.bmp'))
