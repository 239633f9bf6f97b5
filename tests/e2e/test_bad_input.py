"""Pictures the program must refuse with a word on stderr, and unusual BMPs it shows."""

import os
import struct

import harness as h

LEFT = "IMAGES/imageLeft.bmp"
RIGHT = "IMAGES/imageRight.bmp"


def default(name):
    with open(os.path.join(h.DEFAULT_IMAGES, name), "rb") as f:
        return f.read()


def bmp_header(width, height, bpp, compression, pixel_bytes, palette_entries=0,
               file_size=None):
    offset = 54 + 4 * palette_entries
    size = file_size if file_size is not None else offset + pixel_bytes
    header = b"BM" + struct.pack("<IHHI", size, 0, 0, offset)
    return header + struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression,
                                pixel_bytes, 2835, 2835, palette_entries, 0)


def bmp8(picture, palette, index_of):
    """An uncompressed 8-bit BMP of the picture through a palette."""
    stride = (picture.width + 3) & ~3
    rows = []
    for r in range(picture.height - 1, -1, -1):
        row = bytes(index_of(picture.px(c, r)) for c in range(picture.width))
        rows.append(row + bytes(stride - picture.width))
    pixels = b"".join(rows)
    table = b"".join(bytes((b, g, red, 0)) for red, g, b in palette)
    return bmp_header(picture.width, picture.height, 8, 0, len(pixels), len(palette)) + table + pixels


def colour_cube_bmp(picture):
    levels = [0, 51, 102, 153, 204, 255]
    palette = [(r, g, b) for r in levels for g in levels for b in levels]
    return bmp8(picture, palette,
                lambda p: (round(p[0] / 51) * 36 + round(p[1] / 51) * 6 + round(p[2] / 51)))


def grey_bmp(picture):
    palette = [(v, v, v) for v in range(256)]
    return bmp8(picture, palette, lambda p: (p[0] * 299 + p[1] * 587 + p[2] * 114) // 1000)


def bmp32(picture):
    """32 bits per pixel, no compression, 40-byte header, the fourth byte 0 as most
    writers leave it."""
    rows = []
    for r in range(picture.height - 1, -1, -1):
        rows.append(b"".join(bytes((b, g, red, 0)) for red, g, b in
                             (picture.px(c, r) for c in range(picture.width))))
    pixels = b"".join(rows)
    return bmp_header(picture.width, picture.height, 32, 0, len(pixels)) + pixels


def rle8_bmp():
    """A 16 x 16 picture in 8-bit run-length encoding: each row one run of 16."""
    palette = [(255, 0, 0), (0, 0, 255)]
    rows = b"".join(bytes((16, r % 2, 0, 0)) for r in range(16)) + b"\x00\x01"
    table = b"".join(bytes((b, g, red, 0)) for red, g, b in palette)
    return bmp_header(16, 16, 8, 1, len(rows), len(palette)) + table + rows


def huge_header():
    """Declares 100000 x 100000 pixels of 24 bits and holds a few bytes of them."""
    return bmp_header(100000, 100000, 24, 0, 0, file_size=54 + 4096) + bytes(4096)


def refused(program, label, path, images=None, prepare=None):
    ws = h.Workstation(program, "bad-" + label, images=images, prepare=prepare,
                       expect_window=False)
    try:
        ws.start()
        status = ws.wait_exit(timeout=20)
        message = ws.stderr()
        h.check(status is not None, "%s: program still running" % label)
        h.check(status == 1, "%s: exit status %s, expected 1 (%r)" % (label, status, message))
        h.check(path in message, "%s: stderr does not name %s: %r" % (label, path, message))
        h.check("AddressSanitizer" not in message and "runtime error" not in message,
                "%s: sanitizer report %r" % (label, message))
        return message.strip()
    finally:
        ws.close()


def refused_pictures_stop_with_message(program):
    left, right = default("imageLeft.bmp"), default("imageRight.bmp")

    def directory_in_place(workdir):
        os.remove(os.path.join(workdir, LEFT))
        os.mkdir(os.path.join(workdir, LEFT))

    cases = [
        ("missing", RIGHT, {"imageLeft.bmp": left}, None),
        ("empty", LEFT, {"imageLeft.bmp": b"", "imageRight.bmp": right}, None),
        ("directory", LEFT, None, directory_in_place),
        ("truncated", RIGHT, {"imageLeft.bmp": left, "imageRight.bmp": right[:len(right) // 2]},
         None),
        ("gif-data", LEFT, {"imageLeft.bmp": b"GIF89a" + bytes(40), "imageRight.bmp": right}, None),
        ("rle8", RIGHT, {"imageLeft.bmp": left, "imageRight.bmp": rle8_bmp()}, None),
        ("huge-header", LEFT, {"imageLeft.bmp": huge_header(), "imageRight.bmp": right}, None),
    ]
    for label, path, images, prepare in cases:
        message = refused(program, label, path, images, prepare)
        print("%-12s %s" % (label, message.splitlines()[-1] if message else ""))


def unusual_bmp_variants_are_shown(program):
    left, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageLeft.bmp"))
    right, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageRight.bmp"))
    runs = [
        ("palette-and-32bit", colour_cube_bmp(left), bmp32(right)),
        ("grey", grey_bmp(left), default("imageRight.bmp")),
    ]
    for label, left_bytes, right_bytes in runs:
        with h.Workstation(program, "variant-" + label,
                           images={"imageLeft.bmp": left_bytes, "imageRight.bmp": right_bytes}) as ws:
            shot = ws.screenshot()
            ws.save("shown", shot)
            for bytes_, panel, side in ((left_bytes, h.LEFT_PANEL, "left"),
                                        (right_bytes, h.RIGHT_PANEL, "right")):
                expected, _ = h.read_bmp(bytes_)
                h.compare_panel(shot, expected, panel, "%s: %s panel" % (label, side))
            h.check(ws.stderr().strip() == "", "%s: messages %r" % (label, ws.stderr()))
            # The morph of a converted picture is written like any other frame.
            ws.key("m")
            ws.key("a")
            frame = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1", "img_seq_1.000000.BMP")
            deadline = h.time.monotonic() + 300
            while not (os.path.exists(frame) and os.path.getsize(frame) == 54 + 768 * 293):
                h.check(ws.alive(), "%s: program died" % label)
                h.check(h.time.monotonic() < deadline, "%s: animation did not end" % label)
                h.time.sleep(0.3)
            _, info = h.read_bmp(frame)
            h.check(info["bpp"] == 24 and (info["width"], info["height"]) == (256, 293),
                    "%s: frame %s" % (label, info))


if __name__ == "__main__":
    h.main([refused_pictures_stop_with_message, unusual_bmp_variants_are_shown])
