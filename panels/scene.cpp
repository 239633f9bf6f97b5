// scene.cpp -- everything drawn over and around the three pictures except text and
// the slider: panel outlines, the curves of all three banks with their points,
// tangent lines and segments, and the crossing overlay.
//
// Drawing a curve is not free of side effects: for left and right curves of three
// or more points it stores the default tangents and the phantom points into the
// curve store, and for every such curve the phantom point after the last point.
// The intermediate bank and the morph engine read those values, so they are as
// fresh as the last display pass.
#include <algorithm>
#include <climits>
#include <cmath>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace mw {

namespace {

// Truncates toward zero. Tangent ends and phantoms can be huge or NaN; those get
// a defined result (NaN 0, out-of-range values the nearest int) instead of an
// undefined conversion. Ordinary values truncate exactly as a cast does.
int truncateToInt(float v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return INT_MAX;
    if (v < -2147483648.0f) return INT_MIN;
    return static_cast<int>(v);
}

struct Vec {
    float x;
    float y;
};

// What one drawCurve call shows; stores happen whatever is shown.
struct Switches {
    bool segments;
    bool points;
    bool tangents;
};

// Point k of the curve being drawn; k = -1 and k = pointCount are the phantoms.
struct CurveWalk {
    int curve;
    bool intermediate;
    Switches show;

    int slot(int k) const { return slotOf(curve, k); }
    Vec point(int k) const {
        return {store.controlPoints[slot(k)], store.controlPoints[slot(k) + 1]};
    }
    void setPoint(int k, Vec p) const {
        store.controlPoints[slot(k)] = p.x;
        store.controlPoints[slot(k) + 1] = p.y;
    }
    Vec tangent(int k) const { return {store.tangents[slot(k)], store.tangents[slot(k) + 1]}; }
    void setTangent(int k, Vec t) const {
        store.tangents[slot(k)] = t.x;
        store.tangents[slot(k) + 1] = t.y;
    }
    bool tangentIsSet(int k) const { return store.tangentSet[slot(k)] != 0; }
    // A default point gets its tangent derived here; intermediate points never do.
    bool isDefault(int k) const { return !intermediate && !tangentIsSet(k); }

    // The tangent line from point k to point k + v.
    void drawTangentAt(int k, Vec v) const {
        if (!show.tangents) return;
        const Vec p = point(k);
        drawTangentLine(p.x, p.y, p.x + v.x, p.y + v.y);
    }
    void catmullRom(int a, int b, int c, int d) const {
        if (!show.segments) return;
        const Vec pa = point(a), pb = point(b), pc = point(c), pd = point(d);
        drawCatmullRomSegment(pa.x, pa.y, pb.x, pb.y, pc.x, pc.y, pd.x, pd.y);
    }
    // The piece from point a to point b with the tangents ta and tb.
    void hermite(int a, int b, Vec ta, Vec tb) const {
        if (!show.segments) return;
        const Vec pa = point(a), pb = point(b);
        drawHermiteSegment(pa.x, pa.y, pb.x, pb.y, ta.x, ta.y, tb.x, tb.y);
    }
    void hermite(int a, int b) const { hermite(a, b, tangent(a), tangent(b)); }
};

Switches switchesFor(bool intermediate) {
    if (intermediate && !state.showIntermediate) return {false, false, false};
    return {state.showCurves, state.showPoints, state.showTangents};
}

// First point of a curve of three or more points.
void walkFirstPoint(const CurveWalk& w) {
    if (!w.isDefault(0)) {
        w.drawTangentAt(0, w.tangent(0));
        w.hermite(0, 1);
        return;
    }
    const Vec p0 = w.point(0), p1 = w.point(1), p2 = w.point(2);
    const Vec d{(2.0f * p1.x - p2.x - p0.x) / 2.0f, (2.0f * p1.y - p2.y - p0.y) / 2.0f};
    w.drawTangentAt(0, d);
    w.setTangent(0, d);
    if (w.tangentIsSet(1)) return;  // the piece to point 1 is a Hermite piece, drawn there
    w.setPoint(-1, {p1.x - 2.0f * d.x, p1.y - 2.0f * d.y});
    w.catmullRom(-1, 0, 1, 2);
}

// Point k with 1 <= k <= n - 3.
void walkMiddlePoint(const CurveWalk& w, int k) {
    if (!w.isDefault(k)) {
        w.drawTangentAt(k, w.tangent(k));
        w.hermite(k - 1, k);
        w.hermite(k, k + 1);
        return;
    }
    const Vec before = w.point(k - 1), after = w.point(k + 1);
    const Vec d{(after.x - before.x) / 2.0f, (after.y - before.y) / 2.0f};
    w.drawTangentAt(k, d);
    w.setTangent(k, d);
    if (w.tangentIsSet(k + 1)) return;
    w.catmullRom(k - 1, k, k + 1, k + 2);
}

// The second-to-last point (k = n - 2); it also looks after the last point m and
// the phantom point n after it.
void walkSecondToLastPoint(const CurveWalk& w, int n) {
    const int m = n - 1;
    const Vec last = w.point(m), prev = w.point(m - 1), prev2 = w.point(m - 2);
    const Vec d{(last.x - prev2.x) / 2.0f, (last.y - prev2.y) / 2.0f};
    const Vec phantom{2.0f * last.x - prev.x - 2.0f * d.x, 2.0f * last.y - prev.y - 2.0f * d.y};
    w.setPoint(n, phantom);
    const Vec e{(phantom.x - prev.x) / 2.0f, (phantom.y - prev.y) / 2.0f};

    if (w.isDefault(m - 1)) {
        w.drawTangentAt(m - 1, d);
        w.setTangent(m - 1, d);
        if (!w.tangentIsSet(m)) {
            w.drawTangentAt(m, e);
            w.setTangent(m, e);
            w.catmullRom(m - 2, m - 1, m, n);
        } else {
            w.drawTangentAt(m, w.tangent(m));
            w.hermite(m - 1, m, d, w.tangent(m));
        }
        return;
    }
    w.drawTangentAt(m - 1, w.tangent(m - 1));
    if (!w.intermediate && !w.tangentIsSet(m)) {
        w.drawTangentAt(m, e);
        w.setTangent(m, e);
    } else {
        w.drawTangentAt(m, w.tangent(m));
    }
    w.hermite(m - 2, m - 1);
    w.hermite(m - 1, m);
}

}  // namespace

void drawControlPoint(char colour, float size, int x, int y) {
    switch (colour) {
        case 'b': glColor3f(0, 0, 1); break;
        case 'g': glColor3f(0, 1, 0); break;
        case 'k': glColor3f(0, 0, 0); break;
        case 'r': glColor3f(1, 0, 0); break;
        case 'w': glColor3f(1, 1, 1); break;
        case 'y': glColor3f(1, 1, 0); break;
        default: break;  // keep the current colour
    }
    glPointSize(size);
    glBegin(GL_POINTS);
    glVertex2i(x, y);
    glEnd();
}

// The line keeps the tangent's full length; only its end dot sits on whole pixels.
void drawTangentLine(float x0, float y0, float x1, float y1) {
    glColor3f(1, 0, 0);
    glBegin(GL_LINES);
    glVertex3f(x0, y0, 0);
    glVertex3f(x1, y1, 0);
    glEnd();
    drawControlPoint('r', 3.0f, truncateToInt(x1), truncateToInt(y1));
}

// The polygon mode is GL_LINE after the image quads, so these are outlines.
void drawPanelFrames() {
    glColor3f(1, 1, 1);
    for (const PanelRange& panel : {leftPanel, morphPanel, rightPanel}) {
        const float x1 = static_cast<float>(panel.x1), x2 = static_cast<float>(panel.x2);
        glBegin(GL_QUADS);
        glVertex2f(x1, kPanelBottom);
        glVertex2f(x1, kPanelTop);
        glVertex2f(x2, kPanelTop);
        glVertex2f(x2, kPanelBottom);
        glEnd();
    }
}

namespace {

// The walk over curve c that drawCurve draws (what `show` lets it) and that stores
// the curve's default tangents and phantom points whatever is shown.
void walkCurve(int c, bool intermediate, Switches show) {
    if (c < 0 || c >= kCurveNumbers) return;
    const int n = store.pointCount[c];
    if (n < 0 || n > kMaxPointsPerCurve) return;
    const CurveWalk w{c, intermediate, show};
    for (int k = 0; k < n; ++k) {
        if (w.show.points) {
            const Vec p = w.point(k);
            drawControlPoint('g', 6.0f, truncateToInt(p.x), truncateToInt(p.y));
        }
        if (n < 3) continue;
        if (k == 0) {
            walkFirstPoint(w);
        } else if (k <= n - 3) {
            walkMiddlePoint(w, k);
        } else if (k == n - 2) {
            walkSecondToLastPoint(w, n);
        }
    }
}

}  // namespace

// Called by the display pass for the left and right banks (intermediate off), then
// for the intermediate bank (intermediate on), whether or not morphing has started.
// Stored values are read at the moment of use, so a piece may be drawn with a
// neighbour's tangent from the previous pass; the next pass draws it fresh.
void drawCurve(int c, bool intermediate) {
    walkCurve(c, intermediate, switchesFor(intermediate));
}

void deriveCurve(int c, bool intermediate) {
    walkCurve(c, intermediate, {false, false, false});
}

void drawIntersections() {
    const int count = std::min(morph.intersectionCount, kIntersectionFloats);
    for (int k = 0; k < count && k + 1 < kIntersectionFloats; k += 2) {
        drawControlPoint('y', 3.0f, truncateToInt(morph.intersectionPoints[k]),
                         truncateToInt(morph.intersectionPoints[k + 1]));
    }
}

}  // namespace mw
