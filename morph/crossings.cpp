// crossings.cpp -- where the curves of the two nets cross each scan line: the
// crossing search of one curve, the two crossing lists of one scan line, and the
// crossings recorded for the overlay.
#include <algorithm>
#include <array>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "morph/morph.h"

namespace mw {

namespace {

constexpr int kMinPointsForCrossing = 3;  // fewer points keep no phantom points
constexpr float kCrossingTolerance = 1.0f;
// Room in a list for the curves of one scan line: near border and far border twice.
constexpr int kMaxListedCurves = kCrossingListSize - 3;

// Coordinate `axis` (0 x, 1 y) of point j of curve c, for j = -2 .. count. Point -1
// is the leading phantom point, point count the trailing one; point -2, which the
// store does not hold, is the linear extrapolation 2 * P(-1) - P(0).
float pointCoordinate(int c, int j, int axis) {
    if (j == -2) {
        const float phantom = store.controlPoints[slotOf(c, -1) + axis];
        const float first = store.controlPoints[slotOf(c, 0) + axis];
        return 2.0f * phantom - first;
    }
    return store.controlPoints[slotOf(c, j) + axis];
}

// The scan coordinates of one line in GL pixels (integer arithmetic).
struct ScanLine {
    int source;  // row y, or the column's x on the source panel
    int morph;   // row y, or the column's x on the morph panel
};

ScanLine scanLine(ScanPass pass, int line, int sourceLeft, int morphLeft) {
    if (pass == ScanPass::Row) {
        const int y = kPanelBottom + (line * kPanelHeight) / kWorkHeight;
        return {y, y};
    }
    const int dx = (line * kPanelWidth) / kWorkWidth;
    return {sourceLeft + dx, morphLeft + dx};
}

void recordCrossing(float x, float y) {
    if (morph.intersectionCount < 0 || morph.intersectionCount > kIntersectionFloats - 2) return;
    morph.intersectionPoints[morph.intersectionCount] = x;
    morph.intersectionPoints[morph.intersectionCount + 1] = y;
    morph.intersectionCount += 2;
}

// Searches the curves first .. end - 1 (clamped to the curve numbers) for the line
// at v. found[i] / at[i] describe curve first + i. Records what it finds for the
// overlay when `record` is set: (at, scan) in the row pass, (scan, at) in the column pass.
int searchRange(int first, int end, float v, ScanPass pass, bool record, float scan,
                std::array<bool, kCurveNumbers>& found, std::array<float, kCurveNumbers>& at) {
    first = std::clamp(first, 0, kCurveNumbers);
    end = std::clamp(end, first, kCurveNumbers);
    const int count = end - first;
    for (int i = 0; i < count; ++i) {
        found[i] = findCrossing(first + i, v, pass, at[i]);
        if (found[i] && record) {
            if (pass == ScanPass::Row)
                recordCrossing(at[i], scan);
            else
                recordCrossing(scan, at[i]);
        }
    }
    return count;
}

}  // namespace

// Row pass: the y of a vertical curve falls along it and the row's y is searched,
// the crossing's x reported. Column pass: the x of a horizontal curve rises along
// it and the column's x is searched, the crossing's y reported.
bool findCrossing(int c, float v, ScanPass pass, float& other) {
    if (c < 0 || c >= kCurveNumbers) return false;
    const int n = store.pointCount[c];
    if (n < kMinPointsForCrossing || n > kMaxPointsPerCurve) return false;

    const bool row = pass == ScanPass::Row;
    const Inversion how = state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
    const int searched = row ? 1 : 0;
    const int reported = row ? 0 : 1;

    // Start at the segment that ends at the first point past the line.
    int k = 0;
    const int examined = row ? n : n - 1;
    for (int i = 0; i < examined; ++i) {
        const float p = pointCoordinate(c, i, searched);
        if (row ? p < v : p > v) {
            k = i - 1;
            break;
        }
    }

    for (; k <= n - 2; ++k) {
        const float s0 = pointCoordinate(c, k - 1, searched);
        const float s1 = pointCoordinate(c, k, searched);
        const float s2 = pointCoordinate(c, k + 1, searched);
        const float s3 = pointCoordinate(c, k + 2, searched);
        const CatmullRomCoefficients segment = catmullRomCoefficients(s0, s1, s2, s3);
        const float t = segmentParameter(how, row ? 'v' : 'h', kCrossingTolerance,
                                         StartOnTarget::Always, segment, v);
        if (t == -1.0f) continue;
        other = catmullRomValue(
            t, pointCoordinate(c, k - 1, reported), pointCoordinate(c, k, reported),
            pointCoordinate(c, k + 1, reported), pointCoordinate(c, k + 2, reported));
        return true;
    }
    return false;
}

// Called by warpImage for every row and every column. Source curve sourceFirst + i
// and intermediate curve morphFirst + i take part together or not at all, so the
// two lists stay the same length and entry j of one matches entry j of the other.
int buildCrossingLists(ScanPass pass, int line, int sourceFirst, int sourceEnd, int morphFirst,
                       int morphEnd, int sourceLeft, int sourceRight, int morphLeft,
                       int morphRight) {
    const bool row = pass == ScanPass::Row;
    const ScanLine scan = scanLine(pass, line, sourceLeft, morphLeft);
    const float sourceV = static_cast<float>(scan.source);
    const float morphV = static_cast<float>(scan.morph);

    // Source crossings are recorded for the overlay only when bisection found them.
    std::array<bool, kCurveNumbers> sourceFound{}, morphFound{};
    std::array<float, kCurveNumbers> sourceAt{}, morphAt{};
    const int sourceCount = searchRange(sourceFirst, sourceEnd, sourceV, pass,
                                        state.useBinarySearch, sourceV, sourceFound, sourceAt);
    const int morphCount =
        searchRange(morphFirst, morphEnd, morphV, pass, true, morphV, morphFound, morphAt);

    const float sourceNear = static_cast<float>(row ? sourceLeft : kPanelBottom);
    const float sourceFar = static_cast<float>(row ? sourceRight : kPanelTop);
    const float morphNear = static_cast<float>(row ? morphLeft : kPanelBottom);
    const float morphFar = static_cast<float>(row ? morphRight : kPanelTop);

    auto& src = morph.sourceCrossings;
    auto& dst = morph.morphCrossings;
    src[0] = sourceNear;
    dst[0] = morphNear;
    int taking = 0;
    const int pairs = std::min(sourceCount, morphCount);
    for (int i = 0; i < pairs && taking < kMaxListedCurves; ++i) {
        if (!sourceFound[i] || !morphFound[i]) continue;
        ++taking;
        src[taking] = sourceAt[i];
        dst[taking] = morphAt[i];
    }
    const int n = taking + 2;
    src[n - 1] = sourceFar;
    src[n] = sourceFar;
    dst[n - 1] = morphFar;
    dst[n] = morphFar;
    return n;
}

}  // namespace mw
