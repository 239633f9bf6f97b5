// curvilinear.cpp -- quality levels 2 and 3: a Catmull-Rom curve through the
// crossings of a scan line (the plots) maps each output position to a source
// position, instead of the straight pieces of the linear level.
//
// Level 2 locates the position on the morph plot and reads the same parameter off
// the source plot. Level 3 turns the position into a fractional crossing number on
// the morph plot and finds where the source plot has that crossing number. Plots
// are rebuilt per scan line in the thread's scratch; nothing here
// allocates.
#include <algorithm>
#include <array>
#include <cmath>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "morph/morph.h"

namespace mw {

namespace {

constexpr float kSimpleTolerance = 0.1f;
constexpr float kPreciseTolerance = 0.001f;

// Entries a plot holds: level 2 keeps n + 2 elements, level 3 n + 2 points of two
// floats. The curve store's 33 curves per bank stay far below both limits.
constexpr int kMaxSimpleEntries = kCrossingListSize - 2;
constexpr int kMaxPreciseEntries = kCrossingListSize / 2 - 2;

using Plot = std::array<float, kCrossingListSize>;

// A crossing in pixel units of the line: ((entry - origin) * size) / extent, in float steps.
float scaled(float entry, int origin, int size, int extent) {
    return (entry - static_cast<float>(origin)) * static_cast<float>(size) /
           static_cast<float>(extent);
}

// The phantom elements 0 and n + 1 of real elements 1..n, each `stride` floats
// apart from `first` on. The same end conditions as the curves' own phantom points;
// with only two real elements they extend the straight line through them.
void closePlot(Plot& plot, int first, int stride, int n) {
    auto at = [&](int k) -> float& { return plot[first + k * stride]; };
    if (n == 2) {
        at(0) = 2.0f * at(1) - at(2);
        at(3) = 2.0f * at(2) - at(1);
        return;
    }
    const float lead = ((2.0f * at(2) - at(3)) - at(1)) * 0.5f;
    at(0) = at(2) - 2.0f * lead;
    const float trail = (at(n) - at(n - 2)) * 0.5f;
    at(n + 1) = (2.0f * at(n) - at(n - 1)) - 2.0f * trail;
}

int entryLimit(int level) {
    return level == kQualityPrecise ? kMaxPreciseEntries : kMaxSimpleEntries;
}

constexpr int kLongestLine = kWorkHeight;  // positions of a column; a row has fewer
constexpr int kMostSegments = kMaxSimpleEntries - 1;

// One coordinate of a plot, segment by segment: segment s runs over elements (level
// 2) or points (level 3) s .. s + 3, so its values sit at first + stride * (s + k).
void formSegments(CatmullRomCoefficients* segments, const Plot& plot, int first, int stride,
                  int count) {
    for (int s = 0; s < count; ++s) {
        const int e = first + stride * s;
        segments[s] = catmullRomCoefficients(plot[e], plot[e + stride], plot[e + 2 * stride],
                                             plot[e + 3 * stride]);
    }
}

using Segments = std::array<CatmullRomCoefficients, kMostSegments>;

// What a line's positions need at once: their segments, searches and results.
struct LineWork {
    std::array<int, kLongestLine> segment;
    std::array<SegmentSearch, kLongestLine> searches;
    std::array<float, kLongestLine> found;  // parameter, or -1 for none
    std::array<float, kLongestLine> source;
};

// Level 2: position p is found on the morph plot's segment s and the same parameter
// is read off the source plot's segment s; a failed search keeps p.
void simplePositions(WarpScratch& scratch, Inversion how, int n, int count, LineWork& work) {
    SegmentBatch& batch = scratch.batch;
    Segments sourceValue;
    formSegments(batch.segments.data(), scratch.morphPlot, 0, 1, n - 1);
    formSegments(sourceValue.data(), scratch.sourcePlot, 0, 1, n - 1);
    for (int p = 0; p < count; ++p) work.searches[p] = {work.segment[p], static_cast<float>(p)};
    segmentParameters(how, 'n', kSimpleTolerance, StartOnTarget::WhenSolved, batch, n - 1,
                      work.searches.data(), count, work.found.data());
    for (int p = 0; p < count; ++p) {
        const float t = work.found[p];
        work.source[p] =
            t == -1.0f ? static_cast<float>(p) : catmullRomAt(sourceValue[work.segment[p]], t);
    }
}

// Level 3: position p becomes a fractional crossing number u on the morph plot's
// segment s (its start's number when the search fails); the source plot's segment
// i = trunc(u) gives the position with that crossing number, or p when it fails.
// Points are (value, crossing number) pairs.
void precisePositions(WarpScratch& scratch, Inversion how, int n, int count, LineWork& work) {
    const Plot& mp = scratch.morphPlot;
    SegmentBatch& batch = scratch.batch;
    Segments morphIndex, sourceValue;
    formSegments(batch.segments.data(), mp, 0, 2, n - 1);
    formSegments(morphIndex.data(), mp, 1, 2, n - 1);
    formSegments(sourceValue.data(), scratch.sourcePlot, 0, 2, n - 1);
    for (int p = 0; p < count; ++p) work.searches[p] = {work.segment[p], static_cast<float>(p)};
    segmentParameters(how, 'n', kPreciseTolerance, StartOnTarget::WhenSolved, batch, n - 1,
                      work.searches.data(), count, work.found.data());
    for (int p = 0; p < count; ++p) {
        const int s = work.segment[p];
        const float t = work.found[p];
        const float u = t == -1.0f ? mp[2 * s + 3] : catmullRomAt(morphIndex[s], t);
        // Beyond the last real segment the points would run past the trailing phantom.
        const int i = std::isnan(u) ? s : truncInto(u, 0, n - 2);
        work.searches[p] = {i, u};
    }
    formSegments(batch.segments.data(), scratch.sourcePlot, 1, 2, n - 1);
    segmentParameters(how, 'n', kPreciseTolerance, StartOnTarget::WhenSolved, batch, n - 1,
                      work.searches.data(), count, work.found.data());
    for (int p = 0; p < count; ++p) {
        const float t = work.found[p];
        work.source[p] = t == -1.0f ? static_cast<float>(p)
                                    : catmullRomAt(sourceValue[work.searches[p].segment], t);
    }
}

}  // namespace

void buildCurvilinearPlots(WarpScratch& scratch, ScanPass pass, int level, int n, int sourceLeft,
                           int morphLeft) {
    n = std::clamp(n, 2, entryLimit(level));
    const bool row = pass == ScanPass::Row;
    const int sourceOrigin = row ? sourceLeft : kPanelBottom;
    const int morphOrigin = row ? morphLeft : kPanelBottom;
    const int size = row ? kWorkWidth : kWorkHeight;
    const int extent = row ? kPanelWidth : kPanelHeight;
    Plot& sp = scratch.sourcePlot;
    Plot& mp = scratch.morphPlot;
    if (level == kQualityPrecise) {
        for (int j = 0; j < n; ++j) {
            sp[2 * j + 2] = scaled(scratch.sourceCrossings[j], sourceOrigin, size, extent);
            mp[2 * j + 2] = scaled(scratch.morphCrossings[j], morphOrigin, size, extent);
            sp[2 * j + 3] = static_cast<float>(j);
            mp[2 * j + 3] = static_cast<float>(j);
        }
        for (Plot* plot : {&sp, &mp}) {
            closePlot(*plot, 0, 2, n);
            closePlot(*plot, 1, 2, n);
        }
        return;
    }
    for (int j = 0; j < n; ++j) {
        sp[j + 1] = scaled(scratch.sourceCrossings[j], sourceOrigin, size, extent);
        mp[j + 1] = scaled(scratch.morphCrossings[j], morphOrigin, size, extent);
    }
    closePlot(sp, 0, 1, n);
    closePlot(mp, 0, 1, n);
}

void curvilinearSourceIndices(WarpScratch& scratch, int level, Inversion how, int n, int count,
                              int* sourceIndex) {
    n = std::clamp(n, 2, entryLimit(level));
    count = std::clamp(count, 0, kLongestLine);
    const int stride = level == kQualityPrecise ? 2 : 1;
    LineWork work;
    // The segment of each position: one step per position at most, and never past
    // the last real segment.
    int s = 0;
    for (int p = 0; p < count; ++p) {
        if (s < n - 2 && scratch.morphPlot[stride * (s + 2)] <= static_cast<float>(p)) ++s;
        work.segment[p] = s;
    }
    if (level == kQualityPrecise)
        precisePositions(scratch, how, n, count, work);
    else
        simplePositions(scratch, how, n, count, work);
    for (int p = 0; p < count; ++p) {
        const float source = work.source[p];
        sourceIndex[p] = std::isnan(source) ? p : truncInto(source, 0, count - 1);
    }
}

void mapRowCurvilinear(WarpScratch& scratch, const WorkImage& input, WarpImage& rowPass, int row,
                       int n, int level, Inversion how, int sourceLeft, int morphLeft) {
    buildCurvilinearPlots(scratch, ScanPass::Row, level, n, sourceLeft, morphLeft);
    std::array<int, kWorkWidth> sourceIndex;
    curvilinearSourceIndices(scratch, level, how, n, kWorkWidth, sourceIndex.data());
    const int rowStart = row * kWorkRowBytes;
    for (int p = 0; p < kWorkWidth; ++p) {
        const int from = rowStart + sourceIndex[p] * 3;
        const int to = rowStart + p * 3;
        for (int k = 0; k < 3; ++k) rowPass[to + k] = input[from + k];
    }
}

void mapColumnCurvilinear(WarpScratch& scratch, const WarpImage& rowPass, WarpImage& output,
                          int column, int n, int level, Inversion how) {
    buildCurvilinearPlots(scratch, ScanPass::Column, level, n, 0, 0);
    std::array<int, kWorkHeight> sourceIndex;
    curvilinearSourceIndices(scratch, level, how, n, kWorkHeight, sourceIndex.data());
    const int colStart = column * 3;
    for (int p = 0; p < kWorkHeight; ++p) {
        const int from = sourceIndex[p] * kWorkRowBytes + colStart;
        const int to = p * kWorkRowBytes + colStart;
        for (int k = 0; k < 3; ++k) output[to + k] = rowPass[from + k];
    }
}

}  // namespace mw
