"""The window, its blue background and the two pictures in their panels."""

import os

import harness as h

DEFAULTS = {name: open(os.path.join(h.DEFAULT_IMAGES, name), "rb").read()
            for name in ("imageLeft.bmp", "imageRight.bmp")}

# Places outside every panel and away from the text lines: the gaps between the
# panels, the margins beside them and the strips just above and below them.
BACKGROUND_POINTS = [(25, 300), (425, 150), (425, 450), (825, 300), (1225, 200),
                     (1225, 480), (300, 95), (1000, 95), (700, 502), (1100, 95)]


def window_has_exact_title_and_size(program):
    with h.Workstation(program, "window-title") as ws:
        h.check(ws.window_name() == h.TITLE, "title is %r" % ws.window_name())
        info = ws.window_info()
        h.check((info["Width"], info["Height"]) == (1250, 600),
                "window is %dx%d" % (info["Width"], info["Height"]))
        # Without a window manager the window sits at the corner; freeglut asks for
        # (-1, -1), which puts the first row and column just off the screen.
        h.check(ws.origin in ((0, 0), (-1, -1)), "window at %s" % (ws.origin,))


def panels_show_resampled_pictures_on_blue(program):
    with h.Workstation(program, "window-pictures") as ws:
        shot = ws.screenshot()
        ws.save("start", shot)
        for x, y in BACKGROUND_POINTS:
            got = h.gl_pixel(shot, x, y)
            h.check(got == h.BACKGROUND, "background at (%d, %d) is %s" % (x, y, got))
        left, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageLeft.bmp"))
        right, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageRight.bmp"))
        h.compare_panel(shot, left, h.LEFT_PANEL, "left panel")
        h.compare_panel(shot, right, h.RIGHT_PANEL, "right panel")
        # Before M the middle panel holds no picture: inside its white outline all
        # is background.
        others = set()
        for x in range(h.MORPH_PANEL[0] + 2, h.MORPH_PANEL[1] - 2, 3):
            for y in range(h.PANEL_Y[0] + 2, h.PANEL_Y[1] - 2, 3):
                got = h.gl_pixel(shot, x, y)
                if got != h.BACKGROUND:
                    others.add(got)
        h.check(not others, "middle panel shows %s before M" % sorted(others)[:5])


def expect_refusal(program, name, images, path):
    ws = h.Workstation(program, name, images=images, expect_window=False)
    try:
        ws.start()
        status = ws.wait_exit(timeout=20)
        h.check(status is not None, "program still running after a bad picture")
        h.check(status == 1, "exit status %s, expected 1" % status)
        message = ws.stderr()
        h.check(path in message, "stderr does not name %s: %r" % (path, message))
        return message
    finally:
        ws.close()


def missing_picture_stops_with_message(program):
    expect_refusal(program, "missing-left", {"imageRight.bmp": DEFAULTS["imageRight.bmp"]},
                   "IMAGES/imageLeft.bmp")
    expect_refusal(program, "missing-right", {"imageLeft.bmp": DEFAULTS["imageLeft.bmp"]},
                   "IMAGES/imageRight.bmp")


def corrupt_picture_stops_with_message(program):
    good = DEFAULTS["imageRight.bmp"]
    # The header of a real picture with most of its pixels cut off.
    truncated = good[:54 + 1000]
    expect_refusal(program, "corrupt-right",
                   {"imageLeft.bmp": DEFAULTS["imageLeft.bmp"], "imageRight.bmp": truncated},
                   "IMAGES/imageRight.bmp")
    expect_refusal(program, "garbage-left",
                   {"imageLeft.bmp": bytes(range(256)) * 8, "imageRight.bmp": good},
                   "IMAGES/imageLeft.bmp")


if __name__ == "__main__":
    h.main([window_has_exact_title_and_size, panels_show_resampled_pictures_on_blue,
            missing_picture_stops_with_message, corrupt_picture_stops_with_message])
