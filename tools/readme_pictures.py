"""readme_pictures.py -- the two pictures of the README, made by the real program.

Usage: readme_pictures.py PROGRAM OUTDIR

Runs the workstation under its own Xvfb (through the end-to-end harness) on the demo
net IMAGES/faces.json, whose curves follow the features of both default pictures;
starts the morph with the intermediate net shown and the slider at 0.5, and saves
the window as OUTDIR/workstation.png. Then it plays the animation and puts the
frames nearest to morphT 0.02, 0.25, 0.5, 0.75 and 1 side by side in
OUTDIR/morph-strip.png (not the first frame: it warps towards the net of the
display before the animation, at 0.5).
"""

import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import harness as h  # noqa: E402

NET = os.path.join(h.DEFAULT_IMAGES, "faces.json")
STRIP = (0.02, 0.25, 0.5, 0.75, 1.0)


def main():
    program, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    with h.Workstation(program, "readme", args=["IMAGES/faces.json"],
                       prepare=lambda d: shutil.copy(NET, os.path.join(d, "IMAGES"))) as ws:
        ws.key("m")
        ws.key("i")
        # S three times (views 1, 2, 3) composes with the net built for 0.5.
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
        names = os.listdir(sequence)
        value = lambda name: float(name[len("img_seq_"):-len(".BMP")])
        frames = [os.path.join(sequence, min(names, key=lambda n: abs(value(n) - t)))
                  for t in STRIP]
        subprocess.run([h.CONVERT] + frames + ["-bordercolor", "#3333ff", "-border", "6",
                                               "+append", "-strip", "-define",
                                               "png:exclude-chunks=date,time",
                                               os.path.join(outdir, "morph-strip.png")],
                       check=True, timeout=60)


if __name__ == "__main__":
    main()
