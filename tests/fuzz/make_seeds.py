#!/usr/bin/env python3
"""Writes the picture fuzzer's seeds: small BMPs of every variant the loader accepts
and of some it refuses. Usage: make_seeds.py DIRECTORY"""
import os
import struct
import sys


def colour(x, y):
    return (200 + 7 * x) & 0xFF, (20 + 40 * y) & 0xFF, (90 - 3 * x - 11 * y) & 0xFF


def bmp(w=6, h=5, header=40, bits=24, compression=0, masks=(0, 0, 0, 0), top_down=False,
        palette=None, gap=0, masks_after=False):
    info = struct.pack('<IiiHHIIiiII', header, w, -h if top_down else h, 1, bits,
                       compression, 0, 2835, 2835, len(palette or []), 0)
    if header >= 108:
        info += struct.pack('<4II', *masks, 0x73524742) + bytes(48)
    if header == 124:
        info += struct.pack('<4I', 4, 0, 0, 0)
    if masks_after:
        info += struct.pack('<3I', *masks[:3])
    for r, g, b in palette or []:
        info += bytes([b, g, r, 0])
    info += b'\x77' * gap
    pixels = b''
    for k in range(h):
        y = k if top_down else h - 1 - k
        row = b''
        for x in range(w):
            r, g, b = colour(x, y)
            if bits == 8:
                row += bytes([(y * w + x) % len(palette)])
            elif bits == 16:
                row += struct.pack('<H', (r >> 3) << 10 | (g >> 3) << 5 | b >> 3)
            else:
                row += bytes([b, g, r] + ([0x80] if bits == 32 else []))
        pixels += row + bytes(-len(row) % 4)
    head = b'BM' + struct.pack('<IHHI', 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    grey = [(i, i, i) for i in range(256)]
    six = [colour(x, y) for y in range(5) for x in range(6)]
    rgb, rgba = (0xFF0000, 0xFF00, 0xFF, 0), (0xFF0000, 0xFF00, 0xFF, 0xFF000000)
    seeds = {
        'v3-24': bmp(),
        'v3-24-top-down': bmp(top_down=True),
        'v3-24-1x1': bmp(1, 1),
        'v3-24-17x3': bmp(17, 3),
        'v3-24-gap': bmp(gap=6),
        'v3-32': bmp(bits=32),
        'v3-8': bmp(palette=six, bits=8),
        'v3-8-grey-top-down': bmp(9, 4, palette=grey, bits=8, top_down=True),
        'v4-24': bmp(header=108),
        'v4-8': bmp(header=108, bits=8, palette=six),
        'v4-32-rgba': bmp(header=108, bits=32, compression=3, masks=rgba),
        'v4-32-rgb': bmp(header=108, bits=32, compression=3, masks=rgb),
        'v4-32-uncompressed': bmp(header=108, bits=32),
        'v5-24': bmp(header=124),
        'v5-8': bmp(header=124, bits=8, palette=six),
        'v5-32-rgba': bmp(header=124, bits=32, compression=3, masks=rgba),
        'refused-rle8': bmp(bits=8, palette=six, compression=1),
        'refused-16': bmp(bits=16),
        'refused-masks-after-40': bmp(bits=32, compression=3, masks=rgb, masks_after=True),
    }
    for name, data in seeds.items():
        with open(os.path.join(out, name + '.bmp'), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
