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
// A crossing is found within this many GL pixels of the scan line on the
// workstation's grid; on another grid within as many of the grid's pixels.
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

// Where line `line` of `lines` lies across a panel `extent` GL pixels long: on
// whole pixels, (line * extent) / lines in integers, when the panel has at least as
// many pixels as the grid has lines (the workstation's grid); otherwise on halves,
// quarters, ... of a pixel, as fine as it takes to give every line a place of its
// own. Exact in float either way.
float scanOffset(int line, int lines, int extent) {
    long long subdivision = 1;
    while (extent * subdivision < lines) subdivision *= 2;
    const long long steps = static_cast<long long>(line) * extent * subdivision / lines;
    return static_cast<float>(steps) / static_cast<float>(subdivision);
}

// The scan coordinates of one line in GL pixels.
struct ScanLine {
    float source;  // row y, or the column's x on the source panel
    float morph;   // row y, or the column's x on the morph panel
};

ScanLine scanLine(ScanPass pass, int line, const WarpJob& job) {
    if (pass == ScanPass::Row) {
        const float y = kPanelBottom + scanOffset(line, job.grid.height, kPanelHeight);
        return {y, y};
    }
    const float dx = scanOffset(line, job.grid.width, kPanelWidth);
    return {job.sourceLeft + dx, job.morphLeft + dx};
}

// The crossing search's tolerance for the pass on the job's grid, in GL pixels.
float crossingTolerance(ScanPass pass, const WarpGrid& grid) {
    if (pass == ScanPass::Row)
        return kCrossingTolerance * static_cast<float>(kWorkHeight) / static_cast<float>(grid.height);
    return kCrossingTolerance * static_cast<float>(kWorkWidth) / static_cast<float>(grid.width);
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

// What a batched search of one curve keeps per line: the segment it tries.
struct Attempt {
    int line;     // index into the chunk
    int segment;  // k: the segment from point k to point k + 1
};

// The crossings of curve c with `lines` scan lines at coordinates v[0 .. lines - 1],
// into ranges[i].found[slot] / .at[slot]. For each line the search starts at the
// segment that ends at the first point past the line and tries the segments after
// it up to the last one; the first whose parameter is found gives the crossing,
// the other coordinate read off the same segment at that parameter. Every line's
// search of a segment runs in one batch; the lines whose segment fails try the next
// one in the next batch.
void searchCurve(SegmentBatch& batch, int c, const float* v, int lines, ScanPass pass,
                 Inversion how, float tolerance, RangeCrossings* ranges, int slot) {
    for (int i = 0; i < lines; ++i) ranges[i].found[slot] = false;
    if (c < 0 || c >= kCurveNumbers) return;
    const int n = store.pointCount[c];
    if (n < kMinPointsForCrossing || n > kMaxPointsPerCurve) return;
    const bool row = pass == ScanPass::Row;
    const int searched = row ? 1 : 0;
    const int reported = row ? 0 : 1;

    // Segment k is batch segment k + 1 (k runs from -1 to n - 2).
    std::array<CatmullRomCoefficients, kBatchSegments> other;
    for (int k = -1; k <= n - 2; ++k) {
        const auto coefficients = [&](int axis) {
            return catmullRomCoefficients(
                pointCoordinate(c, k - 1, axis), pointCoordinate(c, k, axis),
                pointCoordinate(c, k + 1, axis), pointCoordinate(c, k + 2, axis));
        };
        batch.segments[k + 1] = coefficients(searched);
        other[k + 1] = coefficients(reported);
    }

    // Start at the segment that ends at the first point past the line.
    std::array<Attempt, kMaxLinesAtOnce> attempts;
    int pending = 0;
    const int examined = row ? n : n - 1;
    for (int i = 0; i < lines; ++i) {
        int k = 0;
        for (int j = 0; j < examined; ++j) {
            const float p = pointCoordinate(c, j, searched);
            if (row ? p < v[i] : p > v[i]) {
                k = j - 1;
                break;
            }
        }
        attempts[pending++] = {i, k};
    }

    std::array<SegmentSearch, kMaxLinesAtOnce> searches;
    std::array<float, kMaxLinesAtOnce> found;
    while (pending > 0) {
        for (int a = 0; a < pending; ++a)
            searches[a] = {attempts[a].segment + 1, v[attempts[a].line]};
        segmentParameters(how, row ? 'v' : 'h', tolerance, StartOnTarget::Always, batch,
                          searches.data(), pending, found.data());
        int next = 0;
        for (int a = 0; a < pending; ++a) {
            const Attempt attempt = attempts[a];
            const float t = found[a];
            if (t != -1.0f) {
                RangeCrossings& range = ranges[attempt.line];
                range.found[slot] = true;
                range.at[slot] = catmullRomAt(other[attempt.segment + 1], t);
            } else if (attempt.segment < n - 2) {
                attempts[next++] = {attempt.line, attempt.segment + 1};
            }
        }
        pending = next;
    }
}

// The crossings of curves first .. end - 1 (clamped to the curve numbers) with
// `lines` scan lines at v[0 ..], one range per line.
void searchRange(SegmentBatch& batch, RangeCrossings* ranges, int lines, int first, int end,
                 const float* v, ScanPass pass, Inversion how, float tolerance) {
    first = std::clamp(first, 0, kCurveNumbers);
    end = std::clamp(end, first, kCurveNumbers);
    for (int i = 0; i < lines; ++i) ranges[i].count = end - first;
    for (int c = first; c < end; ++c)
        searchCurve(batch, c, v, lines, pass, how, tolerance, ranges, c - first);
}

// The range's crossings for the overlay: (at, scan) in the row pass, (scan, at) in
// the column pass.
void recordRange(WarpScratch& scratch, const RangeCrossings& range, ScanPass pass, float scan) {
    for (int i = 0; i < range.count; ++i) {
        if (!range.found[i]) continue;
        if (pass == ScanPass::Row)
            recordCrossing(scratch, range.at[i], scan);
        else
            recordCrossing(scratch, scan, range.at[i]);
    }
}

// Source curve first + i and intermediate curve first + i take part together or not
// at all, so the two lists stay the same length and entry j of one matches entry j
// of the other.
int pairCrossings(LineLists& lists, const RangeCrossings& source, const RangeCrossings& target,
                  ScanPass pass, const WarpJob& job) {
    const bool row = pass == ScanPass::Row;
    auto& src = lists.sourceCrossings;
    auto& dst = lists.morphCrossings;
    src[0] = static_cast<float>(row ? job.sourceLeft : kPanelBottom);
    dst[0] = static_cast<float>(row ? job.morphLeft : kPanelBottom);
    int taking = 0;
    const int pairs = std::min(source.count, target.count);
    for (int i = 0; i < pairs && taking < kMaxListedCurves; ++i) {
        if (!source.found[i] || !target.found[i]) continue;
        ++taking;
        src[taking] = source.at[i];
        dst[taking] = target.at[i];
    }
    const int n = taking + 2;
    src[n - 1] = src[n] = static_cast<float>(row ? job.sourceRight : kPanelTop);
    dst[n - 1] = dst[n] = static_cast<float>(row ? job.morphRight : kPanelTop);
    return n;
}

struct Ranges {
    int sourceFirst, sourceEnd, morphFirst, morphEnd;
};

Ranges rangesOf(const WarpJob& job, ScanPass pass) {
    if (pass == ScanPass::Row)
        return {job.sourceVerticalFirst, job.sourceVerticalEnd, job.morphVerticalFirst,
                job.morphVerticalEnd};
    return {job.sourceHorizontalFirst, job.sourceHorizontalEnd, job.morphHorizontalFirst,
            job.morphHorizontalEnd};
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
    thread_local SegmentBatch batch;  // large: not on the stack
    RangeCrossings range;
    searchCurve(batch, c, &v, 1, pass, how, kCrossingTolerance, &range, 0);
    if (range.found[0]) other = range.at[0];
    return range.found[0];
}

// The intermediate range and the morph panel are the same for both pictures of
// view 3, so their crossings are searched once.
void findLineCrossings(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                       int first, int end) {
    const int lines = std::clamp(end - first, 0, kMaxLinesAtOnce);
    std::array<float, kMaxLinesAtOnce> sourceV, morphV;
    for (int j = 0; j < count; ++j) {
        const WarpJob& job = jobs[j];
        const Ranges ranges = rangesOf(job, pass);
        const float tolerance = crossingTolerance(pass, job.grid);
        for (int i = 0; i < lines; ++i) {
            const ScanLine scan = scanLine(pass, first + i, job);
            sourceV[i] = scan.source;
            morphV[i] = scan.morph;
        }
        const Ranges firstRanges = rangesOf(jobs[0], pass);
        const bool sameTarget =
            j > 0 && job.morphLeft == jobs[0].morphLeft && job.how == jobs[0].how &&
            ranges.morphFirst == firstRanges.morphFirst && ranges.morphEnd == firstRanges.morphEnd;
        scratch.targetOf[j] = sameTarget ? 0 : j;
        if (!sameTarget)
            searchRange(scratch.batch, scratch.targetCrossings[j].data(), lines, ranges.morphFirst,
                        ranges.morphEnd, morphV.data(), pass, job.how, tolerance);
        searchRange(scratch.batch, scratch.sourceCrossings[j].data(), lines, ranges.sourceFirst,
                    ranges.sourceEnd, sourceV.data(), pass, job.how, tolerance);
    }
}

// Within a line, the overlay lists a picture's source crossings (when found by
// bisection) before the intermediate ones.
void listLineCrossings(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                       int line, int chunkIndex, int* n) {
    for (int j = 0; j < count; ++j) {
        const WarpJob& job = jobs[j];
        const RangeCrossings& source = scratch.sourceCrossings[j][chunkIndex];
        const RangeCrossings& target = scratch.targetCrossings[scratch.targetOf[j]][chunkIndex];
        if (job.record) {
            const ScanLine scan = scanLine(pass, line, job);
            if (job.how == Inversion::Bisection) recordRange(scratch, source, pass, scan.source);
            recordRange(scratch, target, pass, scan.morph);
        }
        n[j] = pairCrossings(scratch.lists[j], source, target, pass, job);
    }
}

int buildCrossingLists(WarpScratch& scratch, ScanPass pass, int line, Inversion how, bool record,
                       int sourceFirst, int sourceEnd, int morphFirst, int morphEnd, int sourceLeft,
                       int sourceRight, int morphLeft, int morphRight) {
    WarpJob job;
    job.sourceVerticalFirst = job.sourceHorizontalFirst = sourceFirst;
    job.sourceVerticalEnd = job.sourceHorizontalEnd = sourceEnd;
    job.morphVerticalFirst = job.morphHorizontalFirst = morphFirst;
    job.morphVerticalEnd = job.morphHorizontalEnd = morphEnd;
    job.sourceLeft = sourceLeft;
    job.sourceRight = sourceRight;
    job.morphLeft = morphLeft;
    job.morphRight = morphRight;
    job.how = how;
    job.record = record;
    int n = 0;
    findLineCrossings(scratch, &job, 1, pass, line, line + 1);
    listLineCrossings(scratch, &job, 1, pass, line, 0, &n);
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
