"""The morph in the middle panel, driven by the slider."""

import os
import time

import harness as h

HANDLE_Y = 57  # inside the slider's grab zone (37 +- 30) and its handle (50..65)


# The same texture drawn 400 pixels further may come out 1 different in a few
# pixels (the filtering's interpolants round differently); more is a real change.
FILTER_SLACK = 2


def panel_difference(shot, panel, offset):
    """Mean absolute difference per colour sample between the middle panel and the
    panel `offset` pixels to its left (400: the left panel, -400: the right one),
    and how many pixels differ by more than the filtering's slack. The one-pixel
    outlines are left out."""
    total = differing = count = 0
    for x in range(panel[0] + 1, panel[1] - 1):
        for y in range(h.PANEL_Y[0] + 1, h.PANEL_Y[1] - 1):
            a = h.gl_pixel(shot, x, y)
            b = h.gl_pixel(shot, x - offset, y)
            d = [abs(p - q) for p, q in zip(a, b)]
            total += sum(d)
            differing += max(d) > FILTER_SLACK
            count += 1
    return total / (3 * count), differing


def rows_with_differences(shot, offset):
    rows = sorted({y for x in range(h.MORPH_PANEL[0] + 1, h.MORPH_PANEL[1] - 1, 2)
                   for y in range(h.PANEL_Y[0] + 1, h.PANEL_Y[1] - 1)
                   if h.colour_distance(h.gl_pixel(shot, x, y), h.gl_pixel(shot, x - offset, y))
                   > FILTER_SLACK})
    return "GL rows %s..%s" % (rows[0], rows[-1]) if rows else "none"


def middle_versus(shot):
    """(against the left panel, against the right panel) as (mean, differing)."""
    return panel_difference(shot, h.MORPH_PANEL, 400), panel_difference(shot, h.MORPH_PANEL, -400)


def slide(ws, x_from, x_to):
    """Drags the handle; each motion event must stay within 30 pixels of the handle."""
    return ws.drag(x_from, HANDLE_Y, x_to, HANDLE_Y, steps=abs(x_to - x_from) // 25 + 2,
                   pause=0.02)


def hide_net_and_start(ws):
    for key in ("c", "p", "t"):
        ws.key(key)
    return ws.key("m")


def unreshaped_net_shows_left_at_0_and_right_at_1(program):
    problems = []  # every check runs, so one failure does not hide the others
    with h.Workstation(program, "morph-unreshaped") as ws:
        h.draw_net(ws)
        hide_net_and_start(ws)
        shot = slide(ws, 625, 350)
        ws.save("t0", shot)
        (_, left_diff), _ = middle_versus(shot)
        if left_diff:
            problems.append("at morphT 0, %d middle pixels differ from the left panel (%s)"
                % (left_diff, rows_with_differences(shot, 400)))
        shot = slide(ws, 350, 900)
        ws.save("t1", shot)
        _, (_, right_diff) = middle_versus(shot)
        if right_diff:
            problems.append("at morphT 1, %d middle pixels differ from the right panel (%s)"
                % (right_diff, rows_with_differences(shot, -400)))
        # The last animation frame, at morphT 1, is the right picture on the grid,
        # byte for byte: no screen in between.
        ws.key("a")
        frame = os.path.join(ws.workdir, "IMAGE_SEQUENCE_1", "img_seq_1.000000.BMP")
        deadline = time.monotonic() + 300
        while not (os.path.exists(frame) and os.path.getsize(frame) == 54 + 768 * 293):
            h.check(time.monotonic() < deadline and ws.alive(), "no last frame")
            time.sleep(0.3)
        picture, _ = h.read_bmp(frame)
        right = h.work_image(h.read_bmp(os.path.join(h.DEFAULT_IMAGES, "imageRight.bmp"))[0])
        wrong = sum(1 for k in range(0, len(right.data), 3)
                    if picture.data[k:k + 3] != right.data[k:k + 3])
        if wrong:
            problems.append("the frame at morphT 1 differs from the right picture in %d pixels"
                            % wrong)
    h.check(not problems, "; ".join(problems))


def reshaped_net_warps_and_follows_slider(program):
    with h.Workstation(program, "morph-reshaped") as ws:
        h.draw_net(ws)
        h.reshape_right_net(ws)
        ws.save("reshaped")
        hide_net_and_start(ws)
        # Half-way: a warp of both pictures onto the net between them, blended.
        half = slide(ws, 625, 630)
        ws.save("t-half", half)
        (left_mean, _), (right_mean, _) = middle_versus(half)
        h.check(left_mean > 8 and right_mean > 8,
                "at morphT 0.5 the middle panel is too close to a picture: %.1f, %.1f"
                % (left_mean, right_mean))
        later = slide(ws, 630, 800)
        ws.save("t-0.82", later)
        change, _ = panel_difference_between(half, later)
        h.check(change > 3, "the middle panel hardly changes with the slider (%.1f)" % change)
        (left_late, _), (right_late, _) = middle_versus(later)
        h.check(right_late < right_mean and left_late > left_mean,
                "moving towards 1 does not bring the right picture closer: "
                "left %.1f -> %.1f, right %.1f -> %.1f" % (left_mean, left_late, right_mean,
                                                           right_late))
        # Each slider step composes with the net of the step before, so at the ends
        # the middle is close to, not equal to, a picture; the reshaped net still
        # makes it differ from the other picture's warp.
        end = slide(ws, 800, 900)
        ws.save("t1", end)
        (left_end, _), (right_end, _) = middle_versus(end)
        h.check(right_end < left_end / 4,
                "at morphT 1 the middle panel is not the right picture: left %.1f, right %.1f"
                % (left_end, right_end))
        # Three S presses compose views 1, 2 and 3 with the net rebuilt for morphT 1,
        # which is the right net itself: the right picture comes back (its exactness
        # is pinned with the unreshaped net above).
        for _ in range(3):
            end = ws.key("s", expect_change=False)
        ws.save("t1-recomposed", end)
        (left_exact, _), (right_exact, _) = middle_versus(end)
        h.check(right_exact < 3 and left_exact > 20, "recomposed at morphT 1 the middle panel "
                "is not the right picture: left %.1f, right %.1f" % (left_exact, right_exact))


def panel_difference_between(a, b):
    total = differing = count = 0
    for x in range(h.MORPH_PANEL[0] + 1, h.MORPH_PANEL[1] - 1):
        for y in range(h.PANEL_Y[0] + 1, h.PANEL_Y[1] - 1):
            d = sum(abs(p - q) for p, q in zip(h.gl_pixel(a, x, y), h.gl_pixel(b, x, y)))
            total += d
            differing += d > 0
            count += 1
    return total / (3 * count), differing


def lines_picture(line_x, line_y, colour):
    """A grey 256 x 293 picture (the grid itself, so nothing is resampled) with a
    vertical and a horizontal line, three pixels wide, at GL x and y of a panel."""
    column = int((line_x - 50) * 256 / 350)
    row = 292 - int((line_y - 100) * 293 / 400)
    data = bytearray(bytes((128, 128, 128)) * (256 * 293))
    for r in range(293):
        for c in range(256):
            if abs(r - row) <= 1 or abs(c - column) <= 1:
                data[(r * 256 + c) * 3:(r * 256 + c) * 3 + 3] = bytes(colour)
    return h.write_bmp24(h.Picture(256, 293, bytes(data)))


def line_centres(shot, colour_test):
    """Centre x of the vertical line on row y = 150 and centre y of the horizontal
    line on column x = 510 of the middle panel (None when absent)."""
    xs = [x for x in range(451, 799) if colour_test(h.gl_pixel(shot, x, 150))]
    ys = [y for y in range(101, 499) if colour_test(h.gl_pixel(shot, 510, y))]
    centre = lambda v: (min(v) + max(v)) / 2 if v else None  # noqa: E731
    return centre(xs), centre(ys)


def reshaped_net_carries_lines_onto_the_other_net(program):
    """The left picture has red lines on the left net's middle curves, the right
    picture blue lines on the right net's; the right net's middle curves were
    dragged 35 pixels right and 19 up. Each picture's warp must carry its lines
    onto the other net: the right one at morphT 0 onto the left curves, the left
    one at morphT 1 onto the right curves, at every quality level and with both
    ways of inverting a segment."""
    red = lambda p: p[0] > 200 and p[1] < 80 and p[2] < 80  # noqa: E731
    blue = lambda p: p[2] > 200 and p[0] < 80 and p[1] < 80  # noqa: E731
    vertical = [[(x, 490), (x, 380), (x, 250), (x, 110)] for x in (120, 225, 330)]
    horizontal = [[(60, y), (150, y), (290, y), (390, y)] for y in (200, 322, 430)]
    moves = {p: (260, p[1]) for p in vertical[1]}
    moves.update({p: (p[0], 341) for p in horizontal[1]})
    images = {"imageLeft.bmp": lines_picture(225, 322, (255, 0, 0)),
              "imageRight.bmp": lines_picture(260, 341, (0, 0, 255))}
    with h.Workstation(program, "morph-lines", images=images) as ws:
        h.draw_net(ws, vertical + horizontal)
        h.reshape_right_net(ws, vertical + horizontal, moves)
        hide_net_and_start(ws)
        slide(ws, 625, 350)
        ws.key("s", expect_change=False)
        shot = ws.key("s", expect_change=False)  # view 2: the right picture's warp
        ws.save("right-warp-at-0", shot)
        x, y = line_centres(shot, blue)
        h.check(x is not None and abs(x - 625) <= 3 and y is not None and abs(y - 322) <= 3,
                "at morphT 0 the right picture's lines lie at %s, %s instead of 625, 322" % (x, y))
        slide(ws, 350, 900)
        ws.key("s")
        shot = ws.key("s")  # views 3, then 1: the left picture's warp
        ws.save("left-warp-at-1", shot)
        problems = []
        for label in ("linear, bisection", "simple curvilinear, bisection",
                      "precise curvilinear, bisection", "precise curvilinear, roots",
                      "linear, roots", "simple curvilinear, roots"):
            x, y = line_centres(shot, red)
            if x is None or abs(x - 660) > 3 or y is None or abs(y - 341) > 3:
                problems.append("%s: the left picture's lines lie at %s, %s" % (label, x, y))
            # Next quality level (or the other inversion), composed again by S three
            # times: views 2, 3 and 1 again.
            ws.key("b" if label.startswith("precise curvilinear, bisection") else "q")
            for _ in range(3):
                shot = ws.key("s", timeout=60)
        h.check(not problems, "at morphT 1, instead of 660, 341: " + "; ".join(problems))


if __name__ == "__main__":
    h.main([unreshaped_net_shows_left_at_0_and_right_at_1, reshaped_net_warps_and_follows_slider,
            reshaped_net_carries_lines_onto_the_other_net])
