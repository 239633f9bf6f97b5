"""The headless renderer as a user runs it: PNG frames and a video of the demo net,
an output it must not overwrite, arguments that make no sense, and a disk that
fills up. No window and no display: these run without Xvfb."""

import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "IMAGES", "faces.json")


def render(program, *args, cwd=None):
    env = dict(os.environ)
    env.pop("DISPLAY", None)  # no display needed
    return subprocess.run([os.path.abspath(program), "render", *args], cwd=cwd, env=env, capture_output=True,
                          text=True, timeout=300)


def png_size(path):
    """Width and height from a PNG's header, after checking it ends whole."""
    with open(path, "rb") as f:
        data = f.read()
    h.check(data[:8] == b"\x89PNG\r\n\x1a\n", "%s is not a PNG" % path)
    h.check(data[-8:-4] == b"IEND", "%s does not end with IEND" % path)
    return struct.unpack(">II", data[16:24])


def render_to_frames_and_video(program):
    """PNG frames named by the frame count's width at the size asked for; then an
    MP4 that ffprobe reads as that many frames of that size; an existing output is
    refused unless --force."""
    with tempfile.TemporaryDirectory() as work:
        frames = os.path.join(work, "frames")
        done = render(program, DEMO, "--out", frames, "--size", "320x240", "--frames", "11",
                      "--quality", "1")
        h.check(done.returncode == 0, "render failed: %s" % done.stderr)
        names = sorted(os.listdir(frames))
        h.check(names == ["frame_%02d.png" % i for i in range(11)], "frames: %s" % names)
        for name in names:
            h.check(png_size(os.path.join(frames, name)) == (320, 240), name + " is not 320x240")

        again = render(program, DEMO, "--out", frames, "--frames", "3", "--quality", "1")
        h.check(again.returncode == 1, "a non-empty directory was written into")
        h.check("not empty" in again.stderr and "--force" in again.stderr, again.stderr)
        forced = render(program, DEMO, "--out", frames, "--frames", "3", "--quality", "1",
                        "--size", "64x48", "--force")
        h.check(forced.returncode == 0, "--force did not write: %s" % forced.stderr)
        h.check(png_size(os.path.join(frames, "frame_0.png")) == (64, 48), "not rewritten")

        video = os.path.join(work, "morph.mp4")
        done = render(program, DEMO, "--out", video, "--size", "320x240", "--frames", "11",
                      "--quality", "1", "--fps", "10")
        h.check(done.returncode == 0, "video failed: %s" % done.stderr)
        h.check(not os.path.exists(video + ".part"), "the temporary video is left")
        probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams",
                                "v:0", "-show_entries", "stream=width,height,nb_read_frames",
                                "-of", "json", video], capture_output=True, text=True,
                               timeout=60, check=True)
        stream = json.loads(probe.stdout)["streams"][0]
        h.check((stream["width"], stream["height"], int(stream["nb_read_frames"])) ==
                (320, 240, 11), "ffprobe: %s" % stream)
        again = render(program, DEMO, "--out", video, "--frames", "3", "--quality", "1")
        h.check(again.returncode == 1 and "exists" in again.stderr, again.stderr)


def wrong_arguments_and_inputs(program):
    """Usage errors end with status 2 and one line; an input that cannot be used
    with status 1, its path and the reason."""
    with tempfile.TemporaryDirectory() as work:
        for args in ([], [DEMO, "--size", "0x5"], [DEMO, "--frames", "1"],
                     [DEMO, "--view", "middle"], [DEMO, "--bogus"]):
            done = render(program, *args, cwd=work)
            h.check(done.returncode == 2, "%s: status %d" % (args, done.returncode))
            h.check(len(done.stderr.strip().splitlines()) == 1, "%s: %r" % (args, done.stderr))
        missing = os.path.join(work, "missing.json")
        done = render(program, missing, "--out", os.path.join(work, "out"))
        h.check(done.returncode == 1 and missing in done.stderr, done.stderr)
        h.check(not os.path.exists(os.path.join(work, "out")), "an output was made for nothing")


def full_disk_stops_with_whole_frames(program):
    """Frames into a small file system: the render stops at the first frame that
    does not fit, says why, and leaves only whole frames; a video that does not fit
    leaves nothing."""
    if os.geteuid() != 0:
        print("skipped: mounting a small file system needs root")
        return
    with tempfile.TemporaryDirectory() as work:
        disk = os.path.join(work, "disk")
        os.mkdir(disk)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=400k", "tmpfs", disk], check=True,
                       timeout=30)
        try:
            done = render(program, DEMO, "--out", os.path.join(disk, "frames"), "--quality", "1")
            h.check(done.returncode == 1, "status %d on a full disk" % done.returncode)
            h.check("No space left on device" in done.stderr, done.stderr)
            names = sorted(os.listdir(os.path.join(disk, "frames")))
            h.check(0 < len(names) < 101, "%d frames on a 400 KB disk" % len(names))
            for name in names:
                h.check(name.endswith(".png"), "left behind: " + name)
                png_size(os.path.join(disk, "frames", name))
            shutil.rmtree(os.path.join(disk, "frames"))
            video = os.path.join(disk, "morph.mp4")
            done = render(program, DEMO, "--out", video, "--quality", "1", "--size", "1280x720")
            h.check(done.returncode == 1 and "No space left on device" in done.stderr,
                    done.stderr)
            h.check(os.listdir(disk) == [], "left behind: %s" % os.listdir(disk))
        finally:
            subprocess.run(["umount", disk], check=False, timeout=30)
            shutil.rmtree(disk, ignore_errors=True)


if __name__ == "__main__":
    h.main([render_to_frames_and_video, wrong_arguments_and_inputs,
            full_disk_stops_with_whole_frames])
