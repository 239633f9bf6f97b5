"""The morph in the middle panel, driven by the slider."""

import harness as h

HANDLE_Y = 57  # inside the slider's grab zone (37 +- 30) and its handle (50..65)


def panel_difference(shot, panel, offset):
    """Mean absolute difference per colour sample between the middle panel and the
    panel `offset` pixels to its left (400: the left panel, -400: the right one),
    and how many pixels differ at all. The one-pixel outlines are left out."""
    total = differing = count = 0
    for x in range(panel[0] + 1, panel[1] - 1):
        for y in range(h.PANEL_Y[0] + 1, h.PANEL_Y[1] - 1):
            a = h.gl_pixel(shot, x, y)
            b = h.gl_pixel(shot, x - offset, y)
            d = sum(abs(p - q) for p, q in zip(a, b))
            total += d
            differing += d > 0
            count += 1
    return total / (3 * count), differing


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
    with h.Workstation(program, "morph-unreshaped") as ws:
        h.draw_net(ws)
        hide_net_and_start(ws)
        shot = slide(ws, 625, 350)
        ws.save("t0", shot)
        (_, left_diff), _ = middle_versus(shot)
        h.check(left_diff == 0, "at morphT 0, %d middle pixels differ from the left panel"
                % left_diff)
        shot = slide(ws, 350, 900)
        ws.save("t1", shot)
        _, (_, right_diff) = middle_versus(shot)
        h.check(right_diff == 0, "at morphT 1, %d middle pixels differ from the right panel"
                % right_diff)


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
        h.check(right_end < 4 and left_end > 8,
                "at morphT 1 the middle panel is not the right picture: left %.1f, right %.1f"
                % (left_end, right_end))
        # Three S presses compose views 1, 2 and 3 with the net rebuilt for morphT 1,
        # which is the right net itself: the right picture unwarped.
        for _ in range(3):
            end = ws.key("s", expect_change=False)
        ws.save("t1-recomposed", end)
        _, (right_exact, right_pixels) = middle_versus(end)
        h.check(right_pixels == 0, "recomposed at morphT 1, %d pixels differ from the right "
                "panel (mean %.2f)" % (right_pixels, right_exact))


def panel_difference_between(a, b):
    total = differing = count = 0
    for x in range(h.MORPH_PANEL[0] + 1, h.MORPH_PANEL[1] - 1):
        for y in range(h.PANEL_Y[0] + 1, h.PANEL_Y[1] - 1):
            d = sum(abs(p - q) for p, q in zip(h.gl_pixel(a, x, y), h.gl_pixel(b, x, y)))
            total += d
            differing += d > 0
            count += 1
    return total / (3 * count), differing


if __name__ == "__main__":
    h.main([unreshaped_net_shows_left_at_0_and_right_at_1, reshaped_net_warps_and_follows_slider])
