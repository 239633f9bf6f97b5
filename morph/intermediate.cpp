// intermediate.cpp -- the intermediate net: for morphT, each left curve and its
// mirror yield one curve of the intermediate bank, placed in the morph panel.
#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"

namespace mw {

MorphState morph;

namespace {

// Writes intermediate curve m from left curve l and right curve r for t. Covers the
// leading phantom pair and every point; the trailing phantom pair is left to the
// drawing of the curve.
void interpolateCurve(int l, int r, int m, float t) {
    int count = store.pointCount[l];
    if (count < 0) count = 0;
    if (count > kMaxPointsPerCurve) count = kMaxPointsPerCurve;
    store.pointCount[m] = count;

    const double shift = static_cast<double>(t) - 0.5;  // -0.5 .. 0.5, in double
    const float keep = 1.0f - t;
    // Point -1 is the leading phantom point.
    for (int j = -1; j < count; ++j) {
        const int ls = slotOf(l, j);
        const int rs = slotOf(r, j);
        const int ms = slotOf(m, j);
        const float lx = store.controlPoints[ls], ly = store.controlPoints[ls + 1];
        const float rx = store.controlPoints[rs], ry = store.controlPoints[rs + 1];

        // Each half-sum and difference is a float before they are combined.
        const float halfX = (lx + rx) * 0.5f;
        const float halfY = (ly + ry) * 0.5f;
        const float diffX = rx - (lx + static_cast<float>(kMirrorOffset));
        const float diffY = ry - ly;
        store.controlPoints[ms] = static_cast<float>(halfX + diffX * shift);
        store.controlPoints[ms + 1] = static_cast<float>(halfY + diffY * shift);

        store.tangents[ms] = store.tangents[ls] * keep + store.tangents[rs] * t;
        store.tangents[ms + 1] = store.tangents[ls + 1] * keep + store.tangents[rs + 1] * t;
    }
}

}  // namespace

// Called by the display pass while morphing, after the animation step and before
// any curve is drawn. The tangent flags of the intermediate bank are not written.
void buildIntermediateCurves() {
    const int n = store.curveCount / 2;
    const float t = state.morphT;
    for (int i = 0; i < n; ++i) {
        const int m = store.curveCount + i;
        if (i + n >= kCurveNumbers || m >= kCurveNumbers) break;  // beyond the counts
        interpolateCurve(i, i + n, m, t);
    }
}

}  // namespace mw
