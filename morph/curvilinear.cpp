// curvilinear.cpp -- quality levels 2 and 3: a Catmull-Rom curve through the
// crossings of a scan line (the plots) maps each output position to a source
// position, instead of the straight pieces of the linear level.
//
// Level 2 locates the position on the morph plot and reads the same parameter off
// the source plot. Level 3 turns the position into a fractional crossing number on
// the morph plot and finds where the source plot has that crossing number. Plots
// are rebuilt per scan line in the thread's scratch; nothing here allocates. The
// two pictures of view 3 share the intermediate net, so wherever their morph plots
// agree, what a line's positions read off the plots is found once for both.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

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

// Level 2: position p is found on the morph plot's segment s; the same parameter is
// read off the source plot's segment s.
void readSimple(WarpScratch& scratch, const LineLists& lists, Inversion how, int n, int count) {
    PlotReadings& out = scratch.readings;
    formSegments(scratch.batch.segments.data(), lists.morphPlot, 0, 1, n - 1);
    for (int p = 0; p < count; ++p) scratch.searches[p] = {out.segment[p], static_cast<float>(p)};
    segmentParameters(how, 'n', kSimpleTolerance, StartOnTarget::WhenSolved, scratch.batch,
                      scratch.searches.data(), count, out.parameter.data());
}

// Level 3: position p becomes a fractional crossing number u on the morph plot's
// segment s (its start's number when the search fails); the source plot's segment
// i = trunc(u) is searched for that crossing number. Points are (value, crossing
// number) pairs; the source plot's crossing numbers depend on n alone.
void readPrecise(WarpScratch& scratch, const LineLists& lists, Inversion how, int n, int count) {
    PlotReadings& out = scratch.readings;
    const Plot& mp = lists.morphPlot;
    Segments morphIndex;
    formSegments(scratch.batch.segments.data(), mp, 0, 2, n - 1);
    formSegments(morphIndex.data(), mp, 1, 2, n - 1);
    for (int p = 0; p < count; ++p) scratch.searches[p] = {out.segment[p], static_cast<float>(p)};
    segmentParameters(how, 'n', kPreciseTolerance, StartOnTarget::WhenSolved, scratch.batch,
                      scratch.searches.data(), count, scratch.found.data());
    // The crossing numbers where the searches found a parameter, kept in
    // out.parameter until the last search writes it.
    float* const at = out.parameter.data();
    segmentValues(morphIndex.data(), out.segment.data(), scratch.found.data(), count, at);
    for (int p = 0; p < count; ++p) {
        const int s = out.segment[p];
        const float t = scratch.found[p];
        const float u = t == -1.0f ? mp[2 * s + 3] : at[p];
        // Beyond the last real segment the points would run past the trailing phantom.
        const int i = std::isnan(u) ? s : truncInto(u, 0, n - 2);
        out.segment[p] = i;
        scratch.searches[p] = {i, u};
    }
    formSegments(scratch.batch.segments.data(), lists.sourcePlot, 1, 2, n - 1);
    segmentParameters(how, 'n', kPreciseTolerance, StartOnTarget::WhenSolved, scratch.batch,
                      scratch.searches.data(), count, out.parameter.data());
}

// Level 2 and 3 plots of two pictures read the same when their morph plots are the
// same: built by the same steps from the same entries, with the same n.
bool sameMorphPlot(const LineLists& a, int na, const LineLists& b, int nb) {
    const auto sameBits = [](float x, float y) {
        return std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y);
    };
    na = std::clamp(na, 0, kCrossingListSize);
    return na == nb && std::equal(a.morphCrossings.begin(), a.morphCrossings.begin() + na,
                                  b.morphCrossings.begin(), sameBits);
}

}  // namespace

void buildCurvilinearPlots(LineLists& lists, ScanPass pass, int level, int n, int sourceLeft,
                           int morphLeft, const WarpGrid& grid) {
    n = std::clamp(n, 2, entryLimit(level));
    const bool row = pass == ScanPass::Row;
    const int sourceOrigin = row ? sourceLeft : kPanelBottom;
    const int morphOrigin = row ? morphLeft : kPanelBottom;
    const int size = row ? grid.width : grid.height;
    const int extent = row ? kPanelWidth : kPanelHeight;
    Plot& sp = lists.sourcePlot;
    Plot& mp = lists.morphPlot;
    if (level == kQualityPrecise) {
        for (int j = 0; j < n; ++j) {
            sp[2 * j + 2] = scaled(lists.sourceCrossings[j], sourceOrigin, size, extent);
            mp[2 * j + 2] = scaled(lists.morphCrossings[j], morphOrigin, size, extent);
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
        sp[j + 1] = scaled(lists.sourceCrossings[j], sourceOrigin, size, extent);
        mp[j + 1] = scaled(lists.morphCrossings[j], morphOrigin, size, extent);
    }
    closePlot(sp, 0, 1, n);
    closePlot(mp, 0, 1, n);
}

void readPlots(WarpScratch& scratch, const LineLists& lists, int level, Inversion how, int n,
               int count) {
    n = std::clamp(n, 2, entryLimit(level));
    count = std::clamp(count, 0, static_cast<int>(scratch.searches.size()));
    const int stride = level == kQualityPrecise ? 2 : 1;
    // The segment of each position: one step per position at most, and never past
    // the last real segment.
    int s = 0;
    for (int p = 0; p < count; ++p) {
        if (s < n - 2 && lists.morphPlot[stride * (s + 2)] <= static_cast<float>(p)) ++s;
        scratch.readings.segment[p] = s;
    }
    if (level == kQualityPrecise)
        readPrecise(scratch, lists, how, n, count);
    else
        readSimple(scratch, lists, how, n, count);
}

void sourceIndicesFrom(const LineLists& lists, const PlotReadings& readings, int level, int n,
                       int count, int* sourceIndex) {
    n = std::clamp(n, 2, entryLimit(level));
    count = std::clamp(count, 0, static_cast<int>(readings.segment.size()));
    Segments sourceValue;
    if (level == kQualityPrecise)
        formSegments(sourceValue.data(), lists.sourcePlot, 0, 2, n - 1);
    else
        formSegments(sourceValue.data(), lists.sourcePlot, 0, 1, n - 1);
    // The values a block of positions at a time (segmentValues), each where the
    // search found a parameter.
    constexpr int kBlock = 256;
    std::array<float, kBlock> value;
    for (int first = 0; first < count; first += kBlock) {
        const int end = std::min(count, first + kBlock);
        segmentValues(sourceValue.data(), readings.segment.data() + first,
                      readings.parameter.data() + first, end - first, value.data());
        for (int p = first; p < end; ++p) {
            const float t = readings.parameter[p];
            const float source = t == -1.0f ? static_cast<float>(p) : value[p - first];
            sourceIndex[p] = std::isnan(source) ? p : truncInto(source, 0, count - 1);
        }
    }
}

void curvilinearSourceIndices(WarpScratch& scratch, int level, Inversion how, int n, int count,
                              int* sourceIndex) {
    readPlots(scratch, scratch.lists[0], level, how, n, count);
    sourceIndicesFrom(scratch.lists[0], scratch.readings, level, n, count, sourceIndex);
}

void mapRowCurvilinear(WarpScratch& scratch, const WorkImage& input, WarpImage& rowPass, int row,
                       int n, int level, Inversion how, int sourceLeft, int morphLeft) {
    buildCurvilinearPlots(scratch.lists[0], ScanPass::Row, level, n, sourceLeft, morphLeft,
                          kWorkstationGrid);
    std::array<int, kWorkWidth> sourceIndex;
    curvilinearSourceIndices(scratch, level, how, n, kWorkWidth, sourceIndex.data());
    WarpJob job;
    job.input = input.data();
    job.rowPass = rowPass.data();
    copyRow(job, row, sourceIndex.data());
}

void mapColumnCurvilinear(WarpScratch& scratch, const WarpImage& rowPass, WarpImage& output,
                          int column, int n, int level, Inversion how) {
    buildCurvilinearPlots(scratch.lists[0], ScanPass::Column, level, n, 0, 0, kWorkstationGrid);
    std::array<int, kWorkHeight> sourceIndex;
    curvilinearSourceIndices(scratch, level, how, n, kWorkHeight, sourceIndex.data());
    WarpJob job;
    job.rowPass = const_cast<int32_t*>(rowPass.data());  // only read
    job.output = output.data();
    copyColumns(job, column, 1, sourceIndex.data());
}

void curvilinearLineIndices(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                            const int* n, int* const* sourceIndex) {
    const bool row = pass == ScanPass::Row;
    const int positions = row ? jobs[0].grid.width : jobs[0].grid.height;
    for (int j = 0; j < count; ++j) {
        const WarpJob& job = jobs[j];
        LineLists& lists = scratch.lists[j];
        buildCurvilinearPlots(lists, pass, job.level, n[j], row ? job.sourceLeft : 0,
                              row ? job.morphLeft : 0, job.grid);
        if (j == 0 || !sameMorphPlot(scratch.lists[0], n[0], lists, n[j]) || job.how != jobs[0].how)
            readPlots(scratch, lists, job.level, job.how, n[j], positions);
        sourceIndicesFrom(lists, scratch.readings, job.level, n[j], positions, sourceIndex[j]);
    }
}

}  // namespace mw
