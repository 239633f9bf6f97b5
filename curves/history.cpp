// history.cpp -- the edit history: each edit of the left and right banks is kept
// as the curves it changed, before and after, so undo and redo put the store back
// exactly, derived tangents and phantom points included.
#include <algorithm>
#include <cstring>

#include "curves/curves.h"

namespace mw {

EditHistory history;

namespace {

// Slot pairs a curve of n points counts: the leading phantom, the points, the
// trailing phantom.
int countedPairs(int n) {
    return n + 2;
}

void capture(int c, CurveContents& out) {
    const int n = std::clamp(store.pointCount[c], 0, kMaxPointsPerCurve);
    const int first = slotOf(c, -1);
    const int slots = 2 * countedPairs(n);
    out.curve = c;
    out.pointCount = store.pointCount[c];
    out.points.assign(&store.controlPoints[first], &store.controlPoints[first] + slots);
    out.tangents.assign(&store.tangents[first], &store.tangents[first] + slots);
    out.flags.assign(&store.tangentSet[first], &store.tangentSet[first] + slots);
}

void restore(const CurveContents& in) {
    const int first = slotOf(in.curve, -1);
    store.pointCount[in.curve] = in.pointCount;
    std::copy(in.points.begin(), in.points.end(), &store.controlPoints[first]);
    std::copy(in.tangents.begin(), in.tangents.end(), &store.tangents[first]);
    std::copy(in.flags.begin(), in.flags.end(), &store.tangentSet[first]);
}

void restore(const BankContents& in) {
    store.curveCount = in.curveCount;
    store.curveCursor = in.curveCount - 1;
    for (const CurveContents& curve : in.curves) restore(curve);
}

// Compared bit for bit: -0 and 0 differ, as they would in what is drawn from them.
bool same(const CurveContents& a, const CurveContents& b) {
    const auto bytes = [](const auto& v) { return v.size() * sizeof(v[0]); };
    return a.pointCount == b.pointCount && a.points.size() == b.points.size() &&
           std::memcmp(a.points.data(), b.points.data(), bytes(a.points)) == 0 &&
           std::memcmp(a.tangents.data(), b.tangents.data(), bytes(a.tangents)) == 0 &&
           std::memcmp(a.flags.data(), b.flags.data(), bytes(a.flags)) == 0;
}

size_t bytesOf(const CurveContents& c) {
    return sizeof c + (c.points.size() + c.tangents.size()) * sizeof(float) + c.flags.size();
}

void dropOldest() {
    history.bytes -= history.steps.front().bytes;
    history.steps.pop_front();
}

}  // namespace

// The curves a step may change: both banks and the two curve numbers that ending
// a curve takes from the intermediate bank.
void beginEdit() {
    if (history.open) endEdit();
    const int curves = std::min(store.curveCount + 2, kCurveNumbers);
    history.pending.curveCount = store.curveCount;
    history.pending.curves.resize(curves);
    for (int c = 0; c < curves; ++c) capture(c, history.pending.curves[c]);
    history.open = true;
}

void endEdit() {
    if (!history.open) return;
    history.open = false;
    const BankContents& before = history.pending;
    EditStep step;
    step.before.curveCount = before.curveCount;
    step.after.curveCount = store.curveCount;
    const int curves = std::min<int>(std::max(before.curveCount, store.curveCount),
                                     static_cast<int>(before.curves.size()));
    CurveContents now;
    for (int c = 0; c < curves; ++c) {
        capture(c, now);
        if (same(before.curves[c], now)) continue;
        step.bytes += bytesOf(before.curves[c]) + bytesOf(now);
        step.before.curves.push_back(before.curves[c]);
        step.after.curves.push_back(std::move(now));
        now = CurveContents{};
    }
    if (step.before.curves.empty() && before.curveCount == store.curveCount) return;

    while (history.undone > 0) {
        history.bytes -= history.steps.back().bytes;
        history.steps.pop_back();
        --history.undone;
    }
    history.bytes += step.bytes;
    history.steps.push_back(std::move(step));
    const auto kept = [] { return static_cast<int>(history.steps.size()); };
    while (kept() > 1 && (kept() > kHistorySteps || history.bytes > kHistoryBytes)) dropOldest();
}

bool undoEdit() {
    letGoOfHeld();
    endEdit();
    const int done = static_cast<int>(history.steps.size()) - history.undone;
    if (done <= 0) return false;
    restore(history.steps[done - 1].before);
    ++history.undone;
    return true;
}

bool redoEdit() {
    letGoOfHeld();
    endEdit();
    if (history.undone <= 0) return false;
    restore(history.steps[history.steps.size() - history.undone].after);
    --history.undone;
    return true;
}

void clearHistory() {
    history.steps.clear();
    history.undone = 0;
    history.bytes = 0;
    history.open = false;
}

}  // namespace mw
