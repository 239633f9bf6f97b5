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

// Parameter t in [0, 1] at which the segment over p0..p3 reaches target, by
// bisection or by the roots of its cubic as useBinarySearch selects.
bool findParameter(Inversion how, float tolerance, float target, float p0, float p1, float p2,
                   float p3, float& t) {
    t = segmentParameter(how, 'n', tolerance, StartOnTarget::WhenSolved,
                         catmullRomCoefficients(p0, p1, p2, p3), target);
    return t != -1.0f;
}

int entryLimit(int level) {
    return level == kQualityPrecise ? kMaxPreciseEntries : kMaxSimpleEntries;
}

// Level 2: source position for p on plot segment s.
float simplePosition(const WarpScratch& scratch, Inversion how, int s, float p) {
    const Plot& mp = scratch.morphPlot;
    const Plot& sp = scratch.sourcePlot;
    float t = 0.0f;
    if (!findParameter(how, kSimpleTolerance, p, mp[s], mp[s + 1], mp[s + 2], mp[s + 3], t))
        return p;
    return catmullRomValue(t, sp[s], sp[s + 1], sp[s + 2], sp[s + 3]);
}

// Level 3: source position for p on plot segment s; points are (value, index) pairs.
float precisePosition(const WarpScratch& scratch, Inversion how, int s, int n, float p) {
    const Plot& mp = scratch.morphPlot;
    const Plot& sp = scratch.sourcePlot;
    const int v = 2 * s;  // value of point s; its index follows
    float t = 0.0f;
    float u = mp[v + 3];  // crossing number of the segment's start
    if (findParameter(how, kPreciseTolerance, p, mp[v], mp[v + 2], mp[v + 4], mp[v + 6], t)) {
        u = catmullRomValue(t, mp[v + 1], mp[v + 3], mp[v + 5], mp[v + 7]);
    }
    // Beyond the last real segment the points would run past the trailing phantom.
    const int i = std::isnan(u) ? s : truncInto(u, 0, n - 2);
    const int w = 2 * i;
    if (!findParameter(how, kPreciseTolerance, u, sp[w + 1], sp[w + 3], sp[w + 5], sp[w + 7], t)) {
        return p;
    }
    return catmullRomValue(t, sp[w], sp[w + 2], sp[w + 4], sp[w + 6]);
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

void curvilinearSourceIndices(const WarpScratch& scratch, int level, Inversion how, int n,
                              int count, int* sourceIndex) {
    n = std::clamp(n, 2, entryLimit(level));
    const int stride = level == kQualityPrecise ? 2 : 1;
    int s = 0;
    for (int p = 0; p < count; ++p) {
        const float position = static_cast<float>(p);
        // One step per position at most, and never past the last real segment.
        if (s < n - 2 && scratch.morphPlot[stride * (s + 2)] <= position) ++s;
        const float source = level == kQualityPrecise
                                 ? precisePosition(scratch, how, s, n, position)
                                 : simplePosition(scratch, how, s, position);
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
