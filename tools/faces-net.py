#!/usr/bin/env python3
"""faces-net.py -- writes IMAGES/faces.json, the demo net over the default pictures.

Usage: tools/faces-net.py OUTFILE [LARGE_OUTFILE]

With LARGE_OUTFILE, also writes the same nets over the faces drawn at four times
their size (imageLeft-4x.png and imageRight-4x.png), the renderer's example: a net
lives in window coordinates, whatever the pictures' size.

Each curve runs through the same features of both faces, placed from the geometry
that tools/make-pictures.cpp draws them with (the numbers of leftFace() and
rightFace() are repeated below). Seven vertical curves, left-most first, each from
above the panel's top to below its bottom: the outline of the hair and the ear,
the side of the face, the eye, the mouth's corner and the neck, the middle of the
face, and their mirror images. Seven horizontal curves, bottom-most first, each
from beyond the panel's left edge to beyond its right one: the shirt's outline and
collar, the chin and jaw, the mouth, the nostrils and cheeks, the eyes, the
hairline, the top of the hair. The last curve was ended, so the nets end in an
empty current curve. The file is laid out as the program writes it: Ctrl+S on the
opened demo writes the same bytes.
"""
import json
import math
import sys


class Face:
    """A face of make-pictures.cpp: picture pixels, y downwards from the top row."""

    def __init__(self, **fields):
        self.__dict__.update(fields)


LEFT = Face(width=322, height=360, face=(161, 178), faceR=(98, 108), hair=(161, 150),
            hairR=(122, 128), earDy=0, earRx=16, eyes=(122, 200), eyeY=160, noseY=200,
            noseRy=18, mouthY=232, mouthR=(40, 18), mouthCurve=10, shirtTop=290, shirtRx=170)
RIGHT = Face(width=298, height=340, face=(149, 170), faceR=(76, 122), hair=(149, 110),
             hairR=(88, 80), earDy=-10, earRx=12, eyes=(120, 178), eyeY=135, noseY=185,
             noseRy=28, mouthY=245, mouthR=(46, 15), mouthCurve=8, shirtTop=292, shirtRx=150)

MARGIN = 3  # picture pixels beyond the edges, so every curve crosses every scan line
EYE_REACH = 20  # picture pixels above and below an eye's centre, beyond its brow


def window(f, x, y, panel_x):
    """GL coordinates of picture pixel (x, y) on a panel 350 x 400 from (panel_x, 100)."""
    return (round(panel_x + x * 350.0 / f.width, 1), round(500 - y * 400.0 / f.height, 1))


def ellipse_x(centre, radii, y, side):
    """x of an ellipse's outline at row y, on the left (side -1) or the right (1)."""
    t = max(0.0, 1 - ((y - centre[1]) / radii[1]) ** 2)
    return centre[0] + side * radii[0] * math.sqrt(t)


def jaw(f, s, side):
    """The lower outline of the face at a fraction s of its half-width from the middle."""
    return f.face[0] + side * f.faceR[0] * s, f.face[1] + f.faceR[1] * math.sqrt(1 - s * s)


def lip_middle(f, k):
    """Row of the middle of the lips at x = middle + k * mouth half-width: the mouth is
    the part of one ellipse below a second, wider and higher one."""
    rx, ry = f.mouthR
    lower = f.mouthY + ry * math.sqrt(1 - k * k)
    upper = f.mouthY - f.mouthCurve + ry * math.sqrt(1 - (k / 1.05) ** 2)
    return (lower + upper) / 2


def rows(f):
    """Rows of the features that several curves pass."""
    return dict(top=-MARGIN, bottom=f.height + MARGIN,
                fringe=f.face[1] - 0.62 * f.faceR[1],
                spikes=f.hair[1] - 0.55 * f.hairR[1],
                nostrils=f.noseY + 0.55 * f.noseRy,
                cheeks=f.mouthY - 1.6 * f.mouthR[1],
                neck=f.face[1] + f.faceR[1] * math.sqrt(1 - 0.42 ** 2))


def vertical_curves(f):
    cx, r = f.face[0], rows(f)
    ear = f.faceR[0] + f.earRx          # from the middle to the ear's outer edge
    neck = 0.42 * f.faceR[0]            # half the neck's width
    sides = []
    for side in (-1, 1):
        head = [(ellipse_x(f.hair, f.hairR, r["spikes"], side) + side * 10, r["top"]),
                (ellipse_x(f.hair, f.hairR, r["spikes"], side), r["spikes"]),
                (ellipse_x(f.hair, f.hairR, r["fringe"], side), r["fringe"]),
                (cx + side * ear, f.face[1] + f.earDy),
                (cx + side * (ear + 2), r["nostrils"] + 6),
                (cx + side * (ear + 12), f.mouthY),
                (cx + side * (ear + 14), f.shirtTop),
                (cx + side * (ear + 14), r["bottom"])]
        mouth_side = ellipse_x(f.face, f.faceR, f.mouthY, side)
        edge = [(cx + side * 0.75 * (cx - ellipse_x(f.face, f.faceR, r["fringe"], -1)), r["top"]),
                (ellipse_x(f.face, f.faceR, r["fringe"], side), r["fringe"]),
                (ellipse_x(f.face, f.faceR, f.eyeY, side), f.eyeY),
                (ellipse_x(f.face, f.faceR, r["nostrils"], side), r["nostrils"]),
                (mouth_side, f.mouthY),
                (mouth_side, f.shirtTop + 12),
                (mouth_side, r["bottom"])]
        eye_x = f.eyes[0] if side < 0 else f.eyes[1]
        # Upright through the whole eye, so that the rows across it move together.
        eye = [(eye_x, r["top"]),
               (eye_x, f.eyeY - EYE_REACH),
               (eye_x, f.eyeY),
               (eye_x, f.eyeY + EYE_REACH),
               (cx + side * 0.9 * f.mouthR[0], lip_middle(f, 0.9)),
               (cx + side * neck, r["neck"]),
               (cx + side * neck, f.shirtTop + 12),
               (cx + side * neck * 1.2, r["bottom"])]
        sides.append((head, edge, eye))
    (left_head, left_edge, left_eye), (right_head, right_edge, right_eye) = sides
    middle = [(cx, r["top"]), (cx, f.eyeY), (cx, f.mouthY), (cx, r["bottom"])]
    return [left_head, left_edge, left_eye, middle, right_eye, right_edge, right_head]


def horizontal_curves(f):
    cx, r = f.face[0], rows(f)
    left = -MARGIN

    def mirrored(half):
        """The left half up to the middle, and its mirror image to the right edge."""
        return half + [(2 * cx - x, y) for x, y in reversed(half[:-1])]

    def shirt(s):
        ry = f.height - f.shirtTop + 40  # the shirt is an ellipse centred below the picture
        return cx - f.shirtRx * s, f.height + 40 - ry * math.sqrt(1 - s * s)

    shoulders = mirrored([(left, shirt(0.95)[1]), shirt(0.8), shirt(0.5),
                          (cx - 0.35 * f.shirtRx, f.shirtTop + 3), (cx, f.shirtTop + 26)])
    chin = mirrored([(left, f.mouthY + 35), jaw(f, 0.72, -1), jaw(f, 0.42, -1), jaw(f, 0, -1)])
    mouth = mirrored([(left, f.mouthY), (cx - 0.9 * f.mouthR[0], lip_middle(f, 0.9)),
                      (cx, f.mouthY + 0.15 * f.mouthR[1])])
    nose = mirrored([(left, r["nostrils"] + 6), (cx - 0.8 * f.faceR[0], r["cheeks"]),
                     (cx - 0.55 * f.faceR[0], r["cheeks"]), (cx, r["nostrils"])])
    eyes = mirrored([(left, f.eyeY), (cx - 0.8 * f.faceR[0], f.eyeY), (cx, f.eyeY)])
    hairline = mirrored([(left, r["fringe"]), (cx - 0.8 * f.faceR[0], r["fringe"]),
                         (cx, r["fringe"])])
    top = f.hair[1] - f.hairR[1]
    crown = mirrored([(left, top + 50), (cx - 0.7 * f.hairR[0], f.hair[1] - 0.71 * f.hairR[1]),
                      (cx, top)])
    return [shoulders, chin, mouth, nose, eyes, hairline, crown]


def number(v):
    """As the program writes a float: shortest form, always with a decimal point."""
    text = repr(float(v))
    return text if "." in text or "e" in text else text + ".0"


def curve_line(f, points, panel_x):
    pairs = ("[%s, %s]" % tuple(map(number, window(f, x, y, panel_x))) for x, y in points)
    return '{"points": [%s]}' % ", ".join(pairs)


def net_text(f, panel_x):
    def listing(curves):
        lines = ",\n".join("        " + curve for curve in curves)
        return "[\n%s\n      ]" % lines
    vertical = [curve_line(f, c, panel_x) for c in vertical_curves(f)]
    horizontal = [curve_line(f, c, panel_x) for c in horizontal_curves(f)] + ['{"points": []}']
    return ('{\n      "vertical": %s,\n      "horizontal": %s\n    }'
            % (listing(vertical), listing(horizontal)))


def write_net(path, left_picture, right_picture, zoom):
    picture = '{"path": %s, "width": %d, "height": %d}'
    text = ('{\n  "format": "morphing-workstation net",\n  "version": 1,\n  "pictures": {\n'
            '    "left": %s,\n    "right": %s\n  },\n  "nets": {\n    "left": %s,\n'
            '    "right": %s\n  }\n}\n'
            % (picture % (json.dumps(left_picture), LEFT.width * zoom, LEFT.height * zoom),
               picture % (json.dumps(right_picture), RIGHT.width * zoom, RIGHT.height * zoom),
               net_text(LEFT, 50), net_text(RIGHT, 850)))
    with open(path, "w") as f:
        f.write(text)


def main():
    write_net(sys.argv[1], "imageLeft.bmp", "imageRight.bmp", 1)
    if len(sys.argv) > 2:
        write_net(sys.argv[2], "imageLeft-4x.png", "imageRight-4x.png", 4)


if __name__ == "__main__":
    main()
