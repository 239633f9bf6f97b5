// store.cpp -- the curve store: appending, removing and the opening of the next
// curve pair. Only these procedures and the mouse gestures write the left and
// right banks; the intermediate bank is rebuilt by the morph engine.
#include <cstdint>

#include "app/state.h"
#include "curves/curves.h"

namespace mw {

CurveStore store;

namespace {

// Writes the point (x, y) with an unset zero tangent at the given slot.
void writeFreshPoint(int slot, float x, float y) {
    store.controlPoints[slot] = x;
    store.controlPoints[slot + 1] = y;
    store.tangents[slot] = 0.0f;
    store.tangents[slot + 1] = 0.0f;
    store.tangentSet[slot] = 0;
    store.tangentSet[slot + 1] = 0;
}

// Copies both coordinates, both tangent components and both flag bytes of the
// point at slot `from` to slot `to`.
void copyPoint(int to, int from) {
    for (int k = 0; k < 2; ++k) {
        store.controlPoints[to + k] = store.controlPoints[from + k];
        store.tangents[to + k] = store.tangents[from + k];
        store.tangentSet[to + k] = store.tangentSet[from + k];
    }
}

// Every point after position j of curve c moves down one position, in
// increasing order of position.
void closeGap(int c, int j) {
    for (int i = j + 1; i < store.pointCount[c]; ++i) copyPoint(slotOf(c, i - 1), slotOf(c, i));
}

// The numbering every operation relies on; a store that broke it is left alone
// rather than written outside its arrays.
bool numberingSound() {
    return store.curveCount == store.curveCursor + 1 && store.curveCount % 2 == 0 &&
           store.curveCount >= 2 && store.curveCount <= 2 * kMaxCurvesPerBank;
}

bool isCountedPoint(int c, int j) {
    return c >= 0 && c < kCurveNumbers && j >= 0 && j < store.pointCount[c];
}

}  // namespace

void appendPointPair(int x, int y) {
    if (!numberingSound()) return;
    const int left = store.curveCursor / 2;
    const int right = store.curveCursor;
    const int j = store.pointCount[left];
    // A curve's slots hold the two phantom pairs and at most 498 points.
    if (j < 0 || j >= kMaxPointsPerCurve || store.pointCount[right] != j) return;

    // Widened so a pointer far outside the window cannot overflow the mirror's x.
    const int64_t mirrorX = static_cast<int64_t>(x) + kMirrorOffset;
    writeFreshPoint(slotOf(left, j), static_cast<float>(x), static_cast<float>(y));
    writeFreshPoint(slotOf(right, j), static_cast<float>(mirrorX), static_cast<float>(y));
    ++store.pointCount[left];
    ++store.pointCount[right];
}

void removePointPair(int c, int j) {
    if (!numberingSound()) return;
    const int n = store.curveCount / 2;
    if (c < 0 || c >= 2 * n) return;
    const int partner = c < n ? c + n : c - n;
    if (!isCountedPoint(c, j) || !isCountedPoint(partner, j)) return;

    // The pair that falls off the end keeps its contents as the trailing phantom.
    closeGap(c, j);
    closeGap(partner, j);
    --store.pointCount[c];
    --store.pointCount[partner];
}

void startNextCurve() {
    if (!numberingSound()) return;
    const int cursor = store.curveCursor;
    const int p = store.pointCount[cursor];
    if (p <= 0 || p > kMaxPointsPerCurve) return;
    // The intermediate bank needs counts too: three banks of at most 33 curves.
    if (store.curveCount / 2 >= kMaxCurvesPerBank) return;
    const int k = cursor / 2;

    // Move the right bank up one curve number, from the first point slot of its
    // first curve through the slot after the current right curve's last point.
    // Downwards, so nothing is overwritten before it has been copied.
    const int highest = slotOf(cursor + 1, p);  // where slotOf(cursor, p) goes
    const int lowest = slotOf(k + 2, 0);        // where slotOf(k + 1, 0) goes
    for (int s = highest; s >= lowest; --s) {
        store.controlPoints[s] = store.controlPoints[s - kCurveSlots];
        store.tangents[s] = store.tangents[s - kCurveSlots];
        store.tangentSet[s] = store.tangentSet[s - kCurveSlots];
    }
    for (int c = cursor + 1; c >= k + 1; --c) store.pointCount[c] = store.pointCount[c - 1];

    store.curveCount += 2;
    store.curveCursor += 2;
    // The new current pair starts empty; its slots are overwritten by the appends.
    store.pointCount[store.curveCursor / 2] = 0;
    store.pointCount[store.curveCursor] = 0;
}

}  // namespace mw
