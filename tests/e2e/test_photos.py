"""PNG and JPEG pictures under the picture names, shown as the same pictures given
as BMPs would be."""

import os

import harness as h


def panel_pixels(shot, panel):
    return shot.crop(panel[0] + 1, h.WINDOW_H - h.PANEL_Y[1] + 1, panel[1] - panel[0] - 2,
                     h.PANEL_Y[1] - h.PANEL_Y[0] - 2)


def png_and_turned_jpeg_show_as_their_bmps(program):
    left, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageLeft.bmp"))
    right, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageRight.bmp"))
    # RGBA, with every level of alpha down to fully transparent: alpha is dropped.
    png = h.write_png_rgba(left, lambda c, r: (c * 7 + r * 3) % 256)
    # As a camera held on its side stores it: turned a quarter to the left, with
    # orientation 6 saying to turn it a quarter to the right to show it.
    stored = h.turned(right, -1)
    jpeg = h.write_jpeg(stored, progressive=True, orientation=6)
    h.check(jpeg[2:4] == b"\xff\xe1" and b"\xff\xc2" in jpeg, "not a progressive JPEG with EXIF")
    upright = h.turned(h.read_jpeg(jpeg), 1)

    photos = {"imageLeft.bmp": png, "imageRight.bmp": jpeg}
    bmps = {"imageLeft.bmp": h.write_bmp24(left), "imageRight.bmp": h.write_bmp24(upright)}
    shots = {}
    for label, images in (("photos", photos), ("bmps", bmps)):
        with h.Workstation(program, "photos-" + label, images=images) as ws:
            shots[label] = ws.screenshot()
            ws.save("shown", shots[label])
            h.check(ws.stderr().strip() == "", "%s: messages %r" % (label, ws.stderr()))
    h.compare_panel(shots["photos"], left, h.LEFT_PANEL, "PNG in the left panel")
    h.compare_panel(shots["photos"], upright, h.RIGHT_PANEL, "JPEG in the right panel")
    # The decoded JPEG differs from the picture only by the loss of the format.
    h.check(h.mean_abs_difference(h.work_image(upright), h.work_image(right)) < 3,
            "the JPEG does not show the right picture upright")
    for panel, side in ((h.LEFT_PANEL, "left"), (h.RIGHT_PANEL, "right")):
        photo, bmp = panel_pixels(shots["photos"], panel), panel_pixels(shots["bmps"], panel)
        h.check(h.mean_abs_difference(photo, bmp) < 0.5,
                "%s panel: photo and BMP differ by %.2f on average"
                % (side, h.mean_abs_difference(photo, bmp)))


def damaged_png_and_jpeg_are_refused(program):
    left, _ = h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageLeft.bmp"))
    png = h.write_png_rgba(left, lambda c, r: 255)
    jpeg = h.write_jpeg(left, progressive=True)
    good = h.write_bmp24(left)
    cases = [
        ("png-cut-short", {"imageLeft.bmp": png[:len(png) // 2], "imageRight.bmp": good},
         "IMAGES/imageLeft.bmp: damaged PNG file: file ends early"),
        ("jpeg-cut-short", {"imageLeft.bmp": good, "imageRight.bmp": jpeg[:len(jpeg) // 2]},
         "IMAGES/imageRight.bmp: damaged JPEG file: Premature end of JPEG file"),
    ]
    for label, images, reason in cases:
        ws = h.Workstation(program, label, images=images, expect_window=False)
        try:
            ws.start()
            status = ws.wait_exit(timeout=20)
            message = ws.stderr()
            h.check(status == 1, "%s: exit status %s, expected 1 (%r)" % (label, status, message))
            h.check(message == "cannot load picture %s\n" % reason,
                    "%s: stderr %r" % (label, message))
        finally:
            ws.close()


if __name__ == "__main__":
    h.main([png_and_turned_jpeg_show_as_their_bmps, damaged_png_and_jpeg_are_refused])
