"""Pictures and net files from the command line, saving with Ctrl+S, undo and redo."""

import json
import os
import shutil
import subprocess
import time

import harness as h
from test_animation import FRAME_BYTES, wait_for_end

CTRL_S_LINE = "net saved to %s"


def read(path, mode="rb"):
    with open(path, mode) as f:
        return f.read()


def run_without_display(program, *args):
    """The program with no X server to talk to: what it prints and its status."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    result = subprocess.run([program, *args], env=env, capture_output=True, timeout=20,
                            stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def command_line_opens_pictures_and_the_demo_net(program):
    status, out, err = run_without_display(program, "--help")
    h.check(status == 0 and "morphing-workstation IMAGES/faces.json" in out
            and "morphing-workstation before.jpg after.png" in out, "--help: %d %r" % (status, out))
    status, out, _ = run_without_display(program, "--version")
    h.check(status == 0 and out.startswith("morphing-workstation "), "--version: %r" % out)
    for args in (["a", "b", "c"], ["--frames"], ["-display"]):
        status, out, err = run_without_display(program, *args)
        h.check(status == 2 and err.count("\n") == 1 and out == "",
                "%s: status %d, %r" % (args, status, err))

    # The default pictures swapped, under other names in another folder; IMAGES/
    # holds the defaults, which must not be what is shown.
    left, right = (read(os.path.join(h.DEFAULT_IMAGES, n)) for n in ("imageRight.bmp",
                                                                       "imageLeft.bmp"))

    def lay_out(workdir):
        os.makedirs(os.path.join(workdir, "my photos"))
        for name, blob in (("face b.bmp", left), ("face a.bmp", right)):
            with open(os.path.join(workdir, "my photos", name), "wb") as f:
                f.write(blob)

    with h.Workstation(program, "two-pictures", prepare=lay_out,
                       args=["my photos/face b.bmp", "my photos/face a.bmp"]) as ws:
        shot = ws.last
        h.compare_panel(shot, h.read_bmp(left)[0], h.LEFT_PANEL, "left panel")
        h.compare_panel(shot, h.read_bmp(right)[0], h.RIGHT_PANEL, "right panel")

    # The demo net: shown, and saved back to its file byte for byte.
    demo = read(os.path.join(h.DEFAULT_IMAGES, "faces.json"))
    with h.Workstation(program, "demo-net", args=["IMAGES/faces.json"],
                       prepare=lambda d: shutil.copy(os.path.join(h.DEFAULT_IMAGES, "faces.json"),
                                                     os.path.join(d, "IMAGES"))) as ws:
        h.check(h.find_colour_near(ws.last, 225, 322, h.is_point_green, radius=1),
                "the demo net's points are not shown")
        ws.key("ctrl+s", expect_change=False)
        wait_for_line(ws, CTRL_S_LINE % "IMAGES/faces.json")
        h.check(read(os.path.join(ws.workdir, "IMAGES", "faces.json")) == demo,
                "the demo net was saved differently")


def frames_of_animation(ws):
    """M and A, then every frame's bytes by name once the last one is whole."""
    ws.key("m")
    shot = ws.last
    ws.key("a")
    sequence = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")
    last = os.path.join(sequence, "img_seq_1.000000.BMP")
    wait_for_end(ws, lambda: os.path.exists(last) and os.path.getsize(last) == FRAME_BYTES)
    return shot, {name: read(os.path.join(sequence, name)) for name in os.listdir(sequence)}


def wait_for_line(ws, line, timeout=10):
    deadline = time.monotonic() + timeout
    while line not in ws.stdout().splitlines():
        h.check(time.monotonic() < deadline, "no line %r on stdout: %r" % (line, ws.stdout()))
        time.sleep(0.1)


def saved_net_reopens_to_identical_frames(program):
    kept = os.path.join(os.getcwd(), "artifacts", "reopened-net.json")
    os.makedirs(os.path.dirname(kept), exist_ok=True)
    with h.Workstation(program, "net-saved") as ws:
        h.draw_net(ws)
        h.reshape_right_net(ws)
        # The mouth's first tangent set by hand (its handle at 35, 242): the drawing
        # then keeps that curve's leading phantom point as it is.
        ws.drag(35, 242, 30, 275, first=(0, 3))
        before, frames = frames_of_animation(ws)
        ws.key("ctrl+s", expect_change=False)
        wait_for_line(ws, CTRL_S_LINE % "morph.json")
        shutil.copy(os.path.join(ws.workdir, "morph.json"), kept)
        saved = json.loads(read(kept, "r"))
        h.check(saved["pictures"]["left"] == {"path": "IMAGES/imageLeft.bmp", "width": 322,
                                              "height": 360}, "pictures: %s" % saved["pictures"])
        mouth = saved["nets"]["left"]["horizontal"][0]
        h.check(len(mouth["points"][0]) == 4 and "lead" in mouth, "mouth: %s" % mouth)

    with h.Workstation(program, "net-reopened", args=["morph.json"],
                       prepare=lambda d: shutil.copy(kept, os.path.join(d, "morph.json"))) as ws:
        after, reopened = frames_of_animation(ws)
        ws.save("after-m", after)
        h.check(after.data == before.data, "the reopened net is drawn differently")
        h.check(sorted(reopened) == sorted(frames) and len(frames) == 101,
                "frames: %d and %d" % (len(frames), len(reopened)))
        differ = [n for n in sorted(frames) if frames[n] != reopened[n]]
        h.check(not differ, "%d frames differ, first %s" % (len(differ), differ[:3]))
        # Saved again, to the file it came from.
        ws.key("ctrl+s", expect_change=False)
        wait_for_line(ws, CTRL_S_LINE % "morph.json")
        h.check(not os.path.exists(os.path.join(ws.workdir, "morph-2.json")), "a second file")


def undo_and_redo_of_a_drag_give_back_the_screenshots(program):
    with h.Workstation(program, "undo-redo") as ws:
        h.draw_net(ws)
        drawn = ws.settle(None, stable=True)
        dragged = ws.drag(918, 322, 950, 350)
        h.check(dragged.data != drawn.data, "the drag changed nothing")
        for keys, expected, label in ((["ctrl+z"], drawn, "undo"), (["ctrl+y"], dragged, "redo"),
                                      (["ctrl+z", "ctrl+shift+z"], dragged, "undo, redo")):
            for key in keys:
                ws.key(key)
            shot = ws.settle(None, stable=True)
            ws.save(label.replace(", ", "-"), shot)
            h.check(shot.data == expected.data, "%s: the screenshot differs" % label)


def bad_net_and_unwritable_save_are_refused(program):
    bad = b'{\n  "format": "morphing-workstation net",\n  "version": 1,\n  nets\n}\n'

    def lay_out_bad(workdir):
        with open(os.path.join(workdir, "bad.json"), "wb") as f:
            f.write(bad)

    ws = h.Workstation(program, "bad-net", prepare=lay_out_bad, expect_window=False,
                       args=["bad.json"])
    try:
        ws.start()
        status = ws.wait_exit()
        h.check(status == 1, "exit status %s" % status)
        h.check(ws.stderr().startswith("cannot read net file bad.json: not JSON: parse error at"
                                       " line 4, column 4: syntax error")
                and ws.stderr().count("\n") == 1, "stderr: %r" % ws.stderr())
        h.check(read(os.path.join(ws.workdir, "bad.json")) == bad, "the bad file changed")
    finally:
        ws.close()

    # A net file in a folder nothing can be written to: a file system mounted
    # read-only (root writes through file modes), else a folder without write mode.
    net = {"format": "morphing-workstation net", "version": 1,
           "pictures": {"left": {"path": "../IMAGES/imageLeft.bmp"},
                        "right": {"path": "../IMAGES/imageRight.bmp"}},
           "nets": {side: {"vertical": [], "horizontal": [{"points": [[60 + dx, 200],
                                                                        [200 + dx, 220]]}]}
                    for side, dx in (("left", 0), ("right", 800))}}
    text = json.dumps(net).encode()
    root = os.geteuid() == 0

    def lay_out_locked(workdir):
        folder = os.path.join(workdir, "nets")
        os.makedirs(folder)
        if root:
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", folder], check=True)
        with open(os.path.join(folder, "net.json"), "wb") as f:
            f.write(text)
        if root:
            subprocess.run(["mount", "-o", "remount,ro", folder], check=True)
        else:
            os.chmod(folder, 0o555)

    ws = h.Workstation(program, "locked-net", prepare=lay_out_locked, args=["nets/net.json"])
    folder = os.path.join(ws.workdir, "nets")
    try:
        with ws:
            h.check(h.find_colour_near(ws.last, 60, 200, h.is_point_green), "net not shown")
            ws.key("ctrl+s", expect_change=False)
            deadline = time.monotonic() + 10
            while "cannot save" not in ws.stderr() and time.monotonic() < deadline:
                time.sleep(0.1)
            reason = "Read-only file system" if root else "Permission denied"
            h.check(ws.stderr() == "cannot save net nets/net.json: %s\n" % reason,
                    "stderr: %r" % ws.stderr())
            h.check(read(os.path.join(folder, "net.json")) == text, "the net file changed")
            h.check(os.listdir(folder) == ["net.json"], "left behind: %s" % os.listdir(folder))
            h.check(ws.stdout() == "", "stdout: %r" % ws.stdout())
    finally:
        if root:
            subprocess.run(["umount", folder], check=False, timeout=30)
        else:
            os.chmod(folder, 0o755)
        shutil.rmtree(ws.workdir, ignore_errors=True)


if __name__ == "__main__":
    h.main([command_line_opens_pictures_and_the_demo_net, saved_net_reopens_to_identical_frames,
            undo_and_redo_of_a_drag_give_back_the_screenshots,
            bad_net_and_unwritable_save_are_refused])
