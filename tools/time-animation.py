#!/usr/bin/env python3
"""Times key A's 101-frame animation in the real window under Xvfb, from the key to
the last whole frame on disk, with the end-to-end tests' net over the default
pictures. Several programs are run alternately, so all see the same machine:

    tools/time-animation.py [--quality 3] [--roots] [--rounds 5] PROGRAM...

Nothing else runs meanwhile: the key is sent without the screenshots the tests take
after every input, which would compete with the program for the two cores.
"""
import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

FRAME_BYTES = 54 + 768 * 293


def time_animation(program, quality, roots):
    with h.Workstation(program, "time-animation") as ws:
        h.draw_net(ws)
        h.reshape_right_net(ws)
        for _ in range(quality - 1):
            ws.key("q")
        if roots:
            ws.key("b")
        ws.key("m")
        time.sleep(0.5)
        sequence = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")
        last = os.path.join(sequence, "img_seq_1.000000.BMP")
        start = time.monotonic()
        ws.press("a")
        while not (os.path.exists(last) and os.path.getsize(last) == FRAME_BYTES):
            h.check(ws.alive(), "the program died")
            h.check(time.monotonic() - start < 600, "no last frame after 10 minutes")
            time.sleep(0.01)
        took = time.monotonic() - start
        h.check(len(os.listdir(sequence)) == 101, "not 101 frames")
        return took


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quality", type=int, choices=(1, 2, 3), default=3)
    parser.add_argument("--roots", action="store_true", help="invert by roots, not bisection")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    times = {p: [] for p in args.programs}
    for _ in range(args.rounds):
        for p in args.programs:
            times[p].append(time_animation(p, args.quality, args.roots))
    inversion = "roots" if args.roots else "bisection"
    for p, t in times.items():
        runs = " ".join("%.2f" % x for x in t)
        print("%s  quality %d %s: median %.2f s  (%s)"
              % (p, args.quality, inversion, statistics.median(t), runs))


if __name__ == "__main__":
    main()
