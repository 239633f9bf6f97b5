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

// Appends (x, y) to the crossings this thread recorded; beyond the overlay's
// capacity nothing more is kept (the joined list could not hold it either).
void recordCrossing(WarpScratch& scratch, float x, float y) {
    int& count = scratch.recordedCount;
    if (count < 0 || count > kIntersectionFloats - 2) return;
    scratch.recorded[count] = x;
    scratch.recorded[count + 1] = y;
    count += 2;
}

// Searches the curves first .. end - 1 (clamped to the curve numbers) for the line
// at v. found[i] / at[i] describe curve first + i. Records what it finds for the
// overlay when `record` is set: (at, scan) in the row pass, (scan, at) in the column pass.
int searchRange(WarpScratch& scratch, int first, int end, float v, ScanPass pass, Inversion how,
                bool record, float scan, std::array<bool, kCurveNumbers>& found,
                std::array<float, kCurveNumbers>& at) {
    first = std::clamp(first, 0, kCurveNumbers);
    end = std::clamp(end, first, kCurveNumbers);
    const int count = end - first;
    for (int i = 0; i < count; ++i) {
        found[i] = findCrossing(first + i, v, pass, how, at[i]);
        if (found[i] && record) {
            if (pass == ScanPass::Row)
                recordCrossing(scratch, at[i], scan);
            else
                recordCrossing(scratch, scan, at[i]);
        }
    }
    return count;
}

// Appends count floats of `from` to morph.intersectionPoints, as far as they fit.
void appendRecorded(const float* from, int count) {
    const int room = kIntersectionFloats - morph.intersectionCount;
    count = std::clamp(count, 0, room);
    std::copy(from, from + count, morph.intersectionPoints.begin() + morph.intersectionCount);
    morph.intersectionCount += count;
}

}  // namespace

// Row pass: the y of a vertical curve falls along it and the row's y is searched,
// the crossing's x reported. Column pass: the x of a horizontal curve rises along
// it and the column's x is searched, the crossing's y reported.
bool findCrossing(int c, float v, ScanPass pass, Inversion how, float& other) {
    if (c < 0 || c >= kCurveNumbers) return false;
    const int n = store.pointCount[c];
    if (n < kMinPointsForCrossing || n > kMaxPointsPerCurve) return false;

    const bool row = pass == ScanPass::Row;
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

// Called for every row and every column of a warp. Source curve sourceFirst + i
// and intermediate curve morphFirst + i take part together or not at all, so the
// two lists stay the same length and entry j of one matches entry j of the other.
int buildCrossingLists(WarpScratch& scratch, ScanPass pass, int line, Inversion how, bool record,
                       int sourceFirst, int sourceEnd, int morphFirst, int morphEnd, int sourceLeft,
                       int sourceRight, int morphLeft, int morphRight) {
    const bool row = pass == ScanPass::Row;
    const ScanLine scan = scanLine(pass, line, sourceLeft, morphLeft);
    const float sourceV = static_cast<float>(scan.source);
    const float morphV = static_cast<float>(scan.morph);

    // Source crossings are recorded for the overlay only when bisection found them.
    std::array<bool, kCurveNumbers> sourceFound{}, morphFound{};
    std::array<float, kCurveNumbers> sourceAt{}, morphAt{};
    const bool bisection = how == Inversion::Bisection;
    const int sourceCount = searchRange(scratch, sourceFirst, sourceEnd, sourceV, pass, how,
                                        record && bisection, sourceV, sourceFound, sourceAt);
    const int morphCount = searchRange(scratch, morphFirst, morphEnd, morphV, pass, how, record,
                                       morphV, morphFound, morphAt);

    const float sourceNear = static_cast<float>(row ? sourceLeft : kPanelBottom);
    const float sourceFar = static_cast<float>(row ? sourceRight : kPanelTop);
    const float morphNear = static_cast<float>(row ? morphLeft : kPanelBottom);
    const float morphFar = static_cast<float>(row ? morphRight : kPanelTop);

    auto& src = scratch.sourceCrossings;
    auto& dst = scratch.morphCrossings;
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

// One thread searching every row and then every column records the rows'
// crossings part by part, then the columns' part by part.
void joinRecordedCrossings(const WarpScratch* const* parts, int count) {
    morph.intersectionCount = 0;
    for (int i = 0; i < count; ++i)
        appendRecorded(parts[i]->recorded.data(), parts[i]->rowRecordCount);
    for (int i = 0; i < count; ++i) {
        const WarpScratch& part = *parts[i];
        appendRecorded(part.recorded.data() + part.rowRecordCount,
                       part.recordedCount - part.rowRecordCount);
    }
}

}  // namespace mw
