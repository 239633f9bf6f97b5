"""Drawing a net with the mouse, reshaping and deleting points, and the slider."""

import harness as h


def green_at(shot, x, y, radius=3):
    return h.find_colour_near(shot, x, y, h.is_point_green, radius)


def check_curve_drawn(shot, curve, label):
    """Green points, white curve pixels halfway between neighbours (the nets here
    are straight lines, so the curve runs through the chords' midpoints) and red
    dots at the ends of the derived tangents."""
    for x, y in curve:
        h.check(green_at(shot, x, y), "%s: no green point at (%d, %d)" % (label, x, y))
    for (x0, y0), (x1, y1) in zip(curve, curve[1:]):
        mx, my = (x0 + x1) / 2, (y0 + y1) / 2
        h.check(h.find_colour_near(shot, mx, my, h.is_curve_white, 2),
                "%s: no white curve at (%d, %d)" % (label, mx, my))
    for x, y in h.default_tangent_ends(curve):
        if any(abs(x - px) < 8 and abs(y - py) < 8 for px, py in curve):
            continue  # the dot sits under a point
        h.check(h.find_colour_near(shot, x, y, h.is_tangent_red, 2),
                "%s: no red tangent dot at (%d, %d)" % (label, x, y))


def count_in_panel(shot, panel, predicate):
    return sum(1 for x in range(panel[0], panel[1] + 1) for y in range(h.PANEL_Y[0], h.PANEL_Y[1] + 1)
               if predicate(h.gl_pixel(shot, x, y)))


def mirrored(curve):
    return [(x + h.MIRROR, y) for x, y in curve]


def net_of_six_curves_shows_points_curves_and_tangents(program):
    with h.Workstation(program, "editing-net") as ws:
        h.draw_net(ws, each=True)
        shot = ws.screenshot()
        ws.save("net", shot)
        for i, curve in enumerate(h.NET):
            check_curve_drawn(shot, curve, "left curve %d" % i)
            check_curve_drawn(shot, mirrored(curve), "right curve %d" % i)
        h.check(count_in_panel(shot, h.MORPH_PANEL, h.is_point_green) == 0,
                "green points in the middle panel before M")
        # Hiding curves, points and tangents leaves the pictures bare again.
        ws.key("c")
        ws.key("p")
        shot = ws.key("t")
        ws.save("hidden", shot)
        for panel in (h.LEFT_PANEL, h.RIGHT_PANEL):
            for predicate in (h.is_point_green, h.is_tangent_red):
                h.check(count_in_panel(shot, (panel[0] + 1, panel[1] - 1), predicate) == 0,
                        "curves still drawn after C, P, T")


def dragged_right_point_moves_alone(program):
    net = h.NET_VERTICAL
    with h.Workstation(program, "editing-drag") as ws:
        h.draw_net(ws, net)
        (x, y), (nx, ny) = (225, 322), (255, 345)
        shot = ws.drag(x + h.MIRROR, y, nx + h.MIRROR, ny)
        ws.save("dragged", shot)
        h.check(green_at(shot, nx + h.MIRROR, ny), "the dragged point is not at its new place")
        h.check(not green_at(shot, x + h.MIRROR, y), "the dragged point is still at its old place")
        h.check(green_at(shot, x, y), "the left partner moved with the right point")
        h.check(not green_at(shot, nx, ny), "a point appeared on the left")
        # The right curve now bends through the new place; the left one stays straight.
        h.check(h.find_colour_near(shot, (nx + 225) / 2 + h.MIRROR, (ny + 490) / 2,
                                   h.is_curve_white, 6), "the right curve does not follow")
        h.check(h.find_colour_near(shot, 225, (322 + 490) / 2, h.is_curve_white, 1),
                "the left curve changed")
        # A press-move-release adds no point: every other point is where it was.
        for curve in net:
            for px, py in curve:
                if (px, py) != (x, y):
                    h.check(green_at(shot, px + h.MIRROR, py), "point (%d, %d) lost" % (px, py))


def right_click_deletes_both_partners(program):
    net = h.NET_VERTICAL
    with h.Workstation(program, "editing-delete") as ws:
        h.draw_net(ws, net)
        x, y = 225, 242
        shot = ws.right_click(x + h.MIRROR, y)
        ws.save("deleted", shot)
        h.check(not green_at(shot, x + h.MIRROR, y), "the right point is still there")
        h.check(not green_at(shot, x, y), "its left partner is still there")
        for curve in net:
            for px, py in curve:
                if (px, py) != (x, y):
                    h.check(green_at(shot, px, py) and green_at(shot, px + h.MIRROR, py),
                            "point (%d, %d) or its mirror went too" % (px, py))


def white_columns(shot, y, x0=330, x1=920):
    """White columns of a horizontal outline at GL y; a line along y = 70 lights the
    pixel row just below it, so rows y - 1 and y are both looked at."""
    return sorted({x for x in range(x0, x1) for row in (y - 1, y)
                   if h.is_curve_white(h.gl_pixel(shot, x, row))})


def near(columns, x, slack=1):
    return any(abs(c - x) <= slack for c in columns)


def slider_appears_after_m_and_follows_drag(program):
    with h.Workstation(program, "editing-slider") as ws:
        shot = ws.screenshot()
        h.check(not white_columns(shot, 70, 800, 920), "a slider track before M")
        shot = ws.key("m")
        ws.save("after-m", shot)
        # The track outline spans x 335..915 at y 45 and 70; at morphT 0.5 the
        # handle's outline spans x 618..632, y 50..65.
        track = white_columns(shot, 70)
        h.check(near(track, 335, 2) and near(track, 915, 2) and len(track) > 550,
                "no slider track after M: %s" % track[:5])
        handle = white_columns(shot, 57)
        h.check(near(handle, 618) and near(handle, 632), "handle not at 618..632: %s" % handle)
        shot = ws.drag(625, 57, 790, 57)
        ws.save("dragged", shot)
        handle = white_columns(shot, 57)
        # morphT (790 - 350) / 550 = 0.8: the handle spans 783..797.
        h.check(near(handle, 783) and near(handle, 797), "handle not at 783..797: %s" % handle)
        h.check(not near(handle, 618, 2), "handle still at its old place: %s" % handle)
        h.check(not green_at(shot, 790, 57, 8), "the slider drag added a point")


if __name__ == "__main__":
    h.main([net_of_six_curves_shows_points_curves_and_tangents, dragged_right_point_moves_alone,
            right_click_deletes_both_partners, slider_appears_after_m_and_follows_drag])
