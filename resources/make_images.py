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


def rle8(rows):
    """BI_RLE8 encoding of bottom-up rows: runs of one index, end of line, end of bitmap."""
    out = bytearray()
    for row in rows:
        i = 0
        while i < len(row):
            j = i
            while j < len(row) and row[j] == row[i] and j - i < 255:
                j += 1
            out += bytes((j - i, row[i]))
            i = j
        out += b'\x00\x00'
    out += b'\x00\x01'
    return bytes(out)


def write_splash(path, w=400, h=200):
    """8 bits per pixel, 256-colour palette, run-length encoded (BI_RLE8): the picture is
    drawn in horizontal bands so that rows compress to a few runs each."""
    pal = []
    for i in range(192):  # 0..191: deep blue at the top to teal at the bottom
        t = i / 191
        pal.append((int(18 + 22 * t), int(50 + 130 * t), int(120 + 80 * t)))
    for i in range(64):   # 192..255: white to grey
        v = 255 - i * 3
        pal.append((v, v, v))
    rows = []
    for y in reversed(range(h)):  # bottom-up
        base = int(191 * y / (h - 1))
        row = [base] * w
        for x in range(w):
            d = math.hypot(x - 200, y - 72)
            if 40 <= d <= 46 or 24 <= d <= 28:
                row[x] = 192          # the emblem: two white rings
            elif d < 8:
                row[x] = 200
        if 140 <= y <= 168:
            for x in range(40, 361):  # a light band for the name
                row[x] = 230 if y in (140, 168) or x in (40, 360) else 196
        rows.append(row)
    pixels = rle8(rows)
    palette = b''.join(bytes((b, g, r, 0)) for (r, g, b) in pal)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 1, len(pixels), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(palette)
    filehdr = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(filehdr + info + palette + pixels)


if __name__ == '__main__':
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'mainicon.ico'), [16, 32, 48])
    write_splash(os.path.join(out, 'splash.bmp'))
