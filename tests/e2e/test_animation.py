"""Key A: the animation, the frames it writes, and frames that cannot be written."""

import os
import shutil
import struct
import subprocess
import time

import harness as h

FRAME_BYTES = 54 + 768 * 293
ANIMATION_LIMIT = 480  # seconds; a full run at quality 1 takes far less


def float32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def expected_frame_names():
    """morphT grows by 0.01 summed in double and stored as float, and the last step
    is clamped to exactly 1; there is no frame at 0."""
    names, t = [], 0.0
    while True:
        t = float32(t + 0.01)
        if t >= 1.0:
            t = 1.0
        names.append("img_seq_%f.BMP" % t)
        if t == 1.0:
            return names


def handle_columns(shot):
    """White columns across the handle's outline (y 50..65) below the panels."""
    return [x for x in range(330, 920) if h.is_curve_white(h.gl_pixel(shot, x, 57))]


def slider_at_one(shot):
    columns = handle_columns(shot)
    return any(abs(c - 893) <= 1 for c in columns) and any(abs(c - 907) <= 1 for c in columns)


def wait_for_end(ws, done, limit=ANIMATION_LIMIT):
    """Polls until done() holds and the window no longer changes."""
    start = time.monotonic()
    while not done():
        h.check(ws.alive(), "the program died during the animation: %s" % ws.stderr()[-500:])
        h.check(time.monotonic() - start < limit, "the animation did not end in %d s" % limit)
        time.sleep(0.5)
    return time.monotonic() - start


def animation_writes_101_frames(program):
    with h.Workstation(program, "animation-frames") as ws:
        h.draw_net(ws)
        h.reshape_right_net(ws)
        ws.key("m")
        sequence = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")
        last = os.path.join(sequence, "img_seq_1.000000.BMP")
        ws.key("a")
        took = wait_for_end(ws, lambda: os.path.exists(last) and os.path.getsize(last) == FRAME_BYTES)
        shot = ws.settle(None, stable=True, timeout=20)
        ws.save("after", shot)
        print("animation at quality 1: %.1f s for 101 frames" % took)

        names = sorted(os.listdir(sequence), key=lambda n: float(n[8:-4]))
        expected = expected_frame_names()
        h.check(len(names) == 101 and "img_seq_0.839999.BMP" in names,
                "%d frames, 0.839999 %s" % (len(names), "img_seq_0.839999.BMP" in names))
        h.check(names == expected, "frame names differ: %s"
                % sorted(set(names) ^ set(expected))[:6])

        frames = {}
        for name in names:
            path = os.path.join(sequence, name)
            with open(path, "rb") as f:
                blob = f.read()
            picture, info = h.read_bmp(blob)
            h.check((info["width"], info["height"], info["bpp"], info["compression"])
                    == (256, 293, 24, 0), "%s: %s" % (name, info))
            h.check(info["offset"] == 54 and info["header_size"] == 40
                    and len(blob) == FRAME_BYTES, "%s: header %s, %d bytes" % (name, info, len(blob)))
            frames[name] = picture

        left = h.work_image(h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageLeft.bmp"))[0])
        right = h.work_image(h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageRight.bmp"))[0])
        first, final = frames[names[0]], frames[names[-1]]
        to_left = h.mean_abs_difference(first, left)
        to_right = h.mean_abs_difference(first, right)
        h.check(to_left < to_right / 2, "the first frame is not the left picture's warp: "
                "%.1f from left, %.1f from right" % (to_left, to_right))
        to_left = h.mean_abs_difference(final, left)
        to_right = h.mean_abs_difference(final, right)
        h.check(to_right < 4 and to_right < to_left / 4, "the last frame is not the right picture: "
                "%.1f from left, %.1f from right" % (to_left, to_right))

        # On the whole the frames move away from the first and towards the last.
        distances = [h.mean_abs_difference(frames[names[k]], final) for k in range(0, 101, 10)]
        for a, b in zip(distances, distances[1:]):
            h.check(b <= a + 0.5, "frames do not approach the last one: %s"
                    % ["%.1f" % d for d in distances])
        h.check(distances[0] > 10 * max(distances[-1], 0.5), "little change over the animation")

        # The window shows the last frame (written top row first) and the slider at 1.
        h.compare_panel(shot, final, h.MORPH_PANEL, "middle panel against the last frame")
        h.check(slider_at_one(shot), "slider handle not at 1: %s" % handle_columns(shot))

        # The README's way to a video and a GIF: every frame, in order, upright.
        for output in ("morph.mp4", "morph.gif"):
            video_holds_frames(sequence, output, [frames[names[0]], frames[names[-1]]])

        # A second animation goes into the next directory.
        ws.key("a")
        second = os.path.join(ws.workdir, "IMAGE_SEQUENCE_2", "img_seq_1.000000.BMP")
        wait_for_end(ws, lambda: os.path.exists(second) and os.path.getsize(second) == FRAME_BYTES)
        h.check(len(os.listdir(os.path.dirname(second))) == 101, "second sequence incomplete")


def video_holds_frames(sequence, output, first_and_last):
    """Runs tools/sequence-to-video.sh on the sequence; the result must hold 101
    frames whose first and last look like the first and last BMP."""
    path = os.path.join(os.path.dirname(sequence), output)
    subprocess.run([os.path.join(h.REPO_ROOT, "tools", "sequence-to-video.sh"), sequence, path],
                   check=True, timeout=300, capture_output=True)
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-show_entries",
                            "stream=nb_read_frames,width,height", "-of", "csv=p=0", path],
                           check=True, capture_output=True, timeout=120).stdout.decode().split(",")
    h.check(probe[0] == "256" and probe[2].strip() == "101", "%s: %s" % (output, probe))
    for index, expected in zip((0, 100), first_and_last):
        ppm = subprocess.run(["ffmpeg", "-loglevel", "error", "-i", path, "-vf",
                              "select=eq(n\\,%d)" % index, "-frames:v", "1",
                              "-f", "image2pipe", "-vcodec", "ppm", "-"],
                             check=True, capture_output=True, timeout=120).stdout
        off = h.mean_abs_difference(h.parse_ppm(ppm).crop(0, 0, 256, 293), expected)
        h.check(off < 6, "%s: frame %d differs from its BMP by %.1f" % (output, index, off))


def run_without_frames(program, name, prepare=None, after_start=None, after_end=None):
    """M and A with frames that cannot be written: the animation still runs to 1,
    the program lives on and says why the frames are missing."""
    with h.Workstation(program, name, prepare=prepare) as ws:
        if after_start:
            after_start(ws)
        ws.key("m")
        ws.key("a")
        wait_for_end(ws, lambda: slider_at_one(ws.screenshot()))
        shot = ws.settle(None, stable=True, timeout=20)
        ws.save("after", shot)
        h.check(slider_at_one(shot), "the animation did not reach 1")
        h.check(ws.alive(), "the program died")
        message = ws.stderr()
        h.check("IMAGE_SEQUENCE_1" in message and "img_seq_" in message,
                "no message about the frames: %r" % message[-500:])
        if after_end:
            after_end(ws)


def unwritable_frames_are_reported(program):
    # A regular file where the sequence directory belongs: it is left alone, and
    # every frame fails (for root too: a file is not a directory).
    def occupy(workdir):
        with open(os.path.join(workdir, "IMAGE_SEQUENCE_1"), "w") as f:
            f.write("keep me\n")

    def file_kept(ws):
        with open(os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")) as f:
            h.check(f.read() == "keep me\n", "the file in the way was changed")

    run_without_frames(program, "animation-file-in-the-way", prepare=occupy, after_end=file_kept)

    # The working directory removed under the running program: nothing can be
    # created in it any more, whoever the user is.
    run_without_frames(program, "animation-no-workdir",
                       after_start=lambda ws: shutil.rmtree(ws.workdir))


def full_disk_keeps_whole_frames_only(program):
    """The working directory on a small file system that fills after two and a half
    frames: the frames under their names are whole, the others absent with no
    remains, and every missing frame is reported with the system's reason."""
    if os.geteuid() != 0:
        print("skipped: mounting a small file system needs root")
        return
    page = os.sysconf("SC_PAGE_SIZE")
    pages = lambda size: -(-size // page)
    pictures = [os.path.join(h.DEFAULT_IMAGES, n) for n in ("imageLeft.bmp", "imageRight.bmp")]
    size = page * (sum(pages(os.path.getsize(p)) for p in pictures) + pages(FRAME_BYTES) * 5 // 2)
    ws = h.Workstation(program, "animation-full-disk")
    subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", ws.workdir],
                   check=True, timeout=30)
    try:
        with ws:
            ws.key("m")
            ws.key("a")
            wait_for_end(ws, lambda: slider_at_one(ws.screenshot()))
            h.check(ws.alive(), "the program died")
            sequence = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1")
            names = sorted(os.listdir(sequence), key=lambda n: float(n[8:-4]))
            for name in names:
                with open(os.path.join(sequence, name), "rb") as f:
                    blob = f.read()
                _, info = h.read_bmp(blob)
                h.check(len(blob) == FRAME_BYTES and (info["width"], info["height"], info["bpp"])
                        == (256, 293, 24), "%s is not a whole frame: %d bytes" % (name, len(blob)))
            expected = expected_frame_names()
            h.check(1 <= len(names) < 101 and names == expected[:len(names)],
                    "frames kept: %s" % names)
            lines = ws.stderr().splitlines()
            missing = expected[len(names):]
            h.check(lines == ["cannot write frame IMAGE_SEQUENCE_1/%s: No space left on device"
                              % name for name in missing],
                    "messages: %s" % lines[:3])
            print("full disk: %d whole frames kept, %d reported" % (len(names), len(lines)))
    finally:
        subprocess.run(["umount", ws.workdir], check=False, timeout=30)
        shutil.rmtree(ws.workdir, ignore_errors=True)


if __name__ == "__main__":
    h.main([animation_writes_101_frames, unwritable_frames_are_reported,
            full_disk_keeps_whole_frames_only])
