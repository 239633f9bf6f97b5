"""readme_pictures.py -- the two pictures of the README, made by the real program.

Usage: readme_pictures.py PROGRAM OUTDIR

Runs the workstation under its own Xvfb (through the end-to-end harness), draws a
net of four vertical and four horizontal curves over the default pictures with
xdotool, reshapes the mirror net on the right picture to the right face, starts
the morph with the intermediate net shown and the slider at 0.5, and saves the
window as OUTDIR/workstation.png. Then it plays the animation and puts the frames
at morphT 0.2, 0.4, 0.6, 0.8 and 1.0 side by side in OUTDIR/morph-strip.png.
"""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

# Features of the two faces in GL coordinates of the left panel: the right face is
# narrower and longer, its eyes higher and closer, its mouth and chin lower.
LEFT_X = [118, 183, 267, 332]    # face edge, eye, eye, face edge
RIGHT_X = [136, 191, 259, 314]
LEFT_Y = [182, 242, 322, 377]    # chin, mouth, eyes, fringe (bottom-most first)
RIGHT_Y = [160, 212, 341, 389]
# Points along the curves, unevenly spaced so no tangent handle lands on a point.
VERTICAL_Y = [480, 377, 322, 242, 120]
HORIZONTAL_X = [60, 125, 225, 295, 390]


def right_x(x):
    """Maps an x inside the left face onto the right face; the edges stay."""
    if x in (60, 390):
        return x
    return round(225 + (x - 225) * (RIGHT_X[3] - RIGHT_X[0]) / (LEFT_X[3] - LEFT_X[0]))


def right_y(y):
    """Maps a feature height of the left face onto the right face; the top and
    bottom of the panel stay."""
    if y in LEFT_Y:
        return RIGHT_Y[LEFT_Y.index(y)]
    return y


def build_net():
    vertical = [[(x, y) for y in VERTICAL_Y] for x in LEFT_X]
    horizontal = [[(x, y) for x in HORIZONTAL_X] for y in LEFT_Y]
    moves = {}
    for i, curve in enumerate(vertical):
        for x, y in curve:
            moves[(x, y)] = (RIGHT_X[i], right_y(y))
    for j, curve in enumerate(horizontal):
        for x, y in curve:
            moves[(x, y)] = (right_x(x), RIGHT_Y[j])
    return vertical + horizontal, moves


def main():
    program, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    net, moves = build_net()
    with h.Workstation(program, "readme") as ws:
        h.draw_net(ws, net)
        h.reshape_right_net(ws, net, moves, each=True)
        ws.key("m")
        ws.key("i")
        # Grab the handle at 0.5 and let it go there: the morph is composed.
        ws.drags([((625, 57), (640, 57)), ((640, 57), (625, 57))])
        # A slider step composes with the net of the display before it, which
        # depends on timing; S three times (views 1, 2, 3) composes again with the
        # net rebuilt for 0.5, so the picture is the same on every run.
        for _ in range(3):
            ws.key("s", expect_change=False)
        shot = ws.settle(None, stable=True)
        shot.save_png(os.path.join(outdir, "workstation.png"))

        ws.key("a")
        sequence = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")
        last = os.path.join(sequence, "img_seq_1.000000.BMP")
        deadline = time.monotonic() + 600
        while not (os.path.exists(last) and os.path.getsize(last) == 54 + 768 * 293):
            h.check(ws.alive() and time.monotonic() < deadline, "the animation did not finish")
            time.sleep(0.3)
        frames = [os.path.join(sequence, "img_seq_%s.BMP" % t)
                  for t in ("0.200000", "0.400000", "0.600000", "0.800000", "1.000000")]
        subprocess.run([h.CONVERT] + frames + ["-bordercolor", "#3333ff", "-border", "6",
                                               "+append", "-strip", "-define",
                                               "png:exclude-chunks=date,time",
                                               os.path.join(outdir, "morph-strip.png")],
                       check=True, timeout=60)


if __name__ == "__main__":
    main()
