#!/usr/bin/env python3
"""Writes the picture fuzzer's seeds: small BMPs of every variant the loader accepts
and of some it refuses, PNGs of every colour type, depth and interlacing, and JPEGs
(made by ImageMagick's convert) baseline and progressive, grey and colour, with
EXIF orientations. Usage: make_seeds.py DIRECTORY"""
import os
import struct
import subprocess
import sys
import zlib


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


def png_chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


# Adam7: (first column, first row, column step, row step) of each pass.
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2),
         (0, 1, 1, 2)]


def png(w=6, h=5, colour_type=2, depth=8, interlaced=False, palette=None, trns=None, extra=b''):
    """Samples follow colour(); grey is red, alpha falls to the right, a palette is
    indexed by position."""
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]

    def samples(x, y):
        r, g, b = colour(x, y)
        if colour_type == 3:
            return [(y * w + x) % len(palette)]
        if depth < 8:
            return [(x + y) % (1 << depth)]
        a = (255 - 40 * x) & 0xFF
        values = {0: [r], 2: [r, g, b], 4: [r, a], 6: [r, g, b, a]}
        return values[colour_type][:channels]

    def row(y, xs):
        bits, out, acc = 0, bytearray(), 0
        for x in xs:
            for v in samples(x, y):
                if depth == 16:
                    out += struct.pack('>H', v * 257)
                elif depth == 8:
                    out.append(v)
                else:
                    acc, bits = acc << depth | v, bits + depth
                    if bits == 8:
                        out.append(acc)
                        acc, bits = 0, 0
        if bits:
            out.append(acc << (8 - bits))
        return b'\x00' + bytes(out)

    passes = ADAM7 if interlaced else [(0, 0, 1, 1)]
    raw = b''
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, w, dx))
        if xs:
            raw += b''.join(row(y, xs) for y in range(y0, h, dy))
    head = struct.pack('>IIBBBBB', w, h, depth, colour_type, 0, 0, 1 if interlaced else 0)
    data = png_chunk(b'IHDR', head) + extra
    if palette:
        data += png_chunk(b'PLTE', bytes(v for p in palette for v in p))
    if trns:
        data += png_chunk(b'tRNS', trns)
    data += png_chunk(b'IDAT', zlib.compress(raw)) + png_chunk(b'IEND', b'')
    return b'\x89PNG\r\n\x1a\n' + data


def jpeg(w=17, h=9, options=(), orientation=None, grey=False):
    """A JPEG by ImageMagick's convert; with orientation, an EXIF segment (big-endian
    TIFF, the orientation alone) right after the start-of-image marker."""
    pixels = b''.join(bytes(colour(x, y)) for y in range(h) for x in range(w))
    ppm = b'P6 %d %d 255\n' % (w, h) + pixels
    args = ['convert', 'ppm:-'] + (['-colorspace', 'Gray'] if grey else []) + list(options)
    out = subprocess.run(args + ['jpg:-'], input=ppm, capture_output=True, check=True).stdout
    if orientation is None:
        return out
    tiff = b'MM\x00*' + struct.pack('>IH', 8, 1) + struct.pack('>HHIHH', 0x0112, 3, 1,
                                                                orientation, 0) + bytes(4)
    app1 = b'Exif\x00\x00' + tiff
    return out[:2] + b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 + out[2:]


def photo_seeds():
    four = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (250, 250, 0)]
    progressive = ['-interlace', 'Plane']
    return {
        'png-grey-1.png': png(colour_type=0, depth=1),
        'png-grey-2.png': png(colour_type=0, depth=2),
        'png-grey-4.png': png(colour_type=0, depth=4),
        'png-grey-8.png': png(colour_type=0),
        'png-grey-16.png': png(colour_type=0, depth=16),
        'png-grey-alpha.png': png(colour_type=4),
        'png-grey-alpha-16.png': png(colour_type=4, depth=16),
        'png-palette-2-trns.png': png(colour_type=3, depth=2, palette=four, trns=b'\xff\x80'),
        'png-palette-8.png': png(colour_type=3, palette=four),
        'png-rgb.png': png(),
        'png-rgb-16.png': png(depth=16),
        'png-rgba.png': png(colour_type=6),
        'png-rgba-16-interlaced.png': png(9, 10, colour_type=6, depth=16, interlaced=True),
        'png-rgb-interlaced.png': png(9, 10, interlaced=True),
        'png-rgb-gamma.png': png(extra=png_chunk(b'gAMA', struct.pack('>I', 45455))),
        'jpeg-baseline.jpg': jpeg(),
        'jpeg-baseline-420.jpg': jpeg(options=['-sampling-factor', '2x2']),
        'jpeg-progressive.jpg': jpeg(options=progressive),
        'jpeg-grey.jpg': jpeg(grey=True),
        'jpeg-grey-progressive.jpg': jpeg(grey=True, options=progressive),
        'jpeg-restarts.jpg': jpeg(options=['-define', 'jpeg:restart-interval=1']),
        'jpeg-orientation-3.jpg': jpeg(orientation=3),
        'jpeg-orientation-6-progressive.jpg': jpeg(orientation=6, options=progressive),
        'jpeg-orientation-8.jpg': jpeg(8, 5, orientation=8),
        'refused-jpeg-cmyk.jpg': jpeg(options=['-colorspace', 'CMYK']),
    }


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
    seeds = {name + '.bmp': data for name, data in seeds.items()}
    seeds.update(photo_seeds())
    for name, data in seeds.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
