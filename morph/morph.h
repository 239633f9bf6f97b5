// morph.h -- the morph engine: the intermediate net, the crossings of both nets
// with each scan line, the two-pass warp at three quality levels, and the
// composition of the middle panel's picture.
#pragma once

#include <array>

#include "panels/panels.h"

namespace mw {

constexpr int kCrossingListSize = 100;
constexpr int kIntersectionFloats = 200000;

enum class ScanPass { Row, Column };

// Scratch and results of the last warp.
struct MorphState {
    // Rebuilt for every scan line: near border, crossings in curve order, far border twice.
    std::array<float, kCrossingListSize> sourceCrossings{};
    std::array<float, kCrossingListSize> morphCrossings{};
    // Plots of the curvilinear levels, rebuilt for every scan line.
    std::array<float, kCrossingListSize> sourcePlot{};
    std::array<float, kCrossingListSize> morphPlot{};
    // Crossings found by the last warp, x, y pairs in GL pixels, for the overlay.
    std::array<float, kIntersectionFloats> intersectionPoints{};
    int intersectionCount = 0;  // floats used, two per crossing
};

extern MorphState morph;

// Rebuilds the intermediate bank from the left and right banks for morphT.
// Called by the display pass only, while morphing.
void buildIntermediateCurves();

// Where curve c crosses the scan line at v (a row's y or a column's x). Returns
// true and sets `other` (x for a row, y for a column) when it crosses.
bool findCrossing(int c, float v, ScanPass pass, float& other);

// Fills morph.sourceCrossings and morph.morphCrossings for one scan line (row r
// of the row pass, or column c of the column pass) and records the crossings found
// for the overlay. Source curve i and intermediate curve i of the two ranges take
// part only when both cross the line. Returns n: the curves taking part + 2; entry
// n - 1 and entry n hold the far border.
int buildCrossingLists(ScanPass pass, int line, int sourceFirst, int sourceEnd, int morphFirst,
                       int morphEnd, int sourceLeft, int sourceRight, int morphLeft,
                       int morphRight);

// Byte offset of the pixel after the one that holds byte v of an RGB row.
int nextPixelOffset(float v);

// Warps leftImage (kSideLeft) or rightImage (kSideRight) onto the intermediate net.
// Ranges are half-open curve-number ranges.
void warpImage(int side, WarpImage& output, int sourceVerticalFirst, int sourceVerticalEnd,
               int morphVerticalFirst, int morphVerticalEnd, int sourceHorizontalFirst,
               int sourceHorizontalEnd, int morphHorizontalFirst, int morphHorizontalEnd,
               int sourceLeft, int sourceRight, int morphLeft, int morphRight);

// --- Filling one scan line from its crossing lists (warp.cpp, curvilinear.cpp) ---
// Each reads the first n + 1 (linear) or n (curvilinear) entries of
// morph.sourceCrossings and morph.morphCrossings as buildCrossingLists left them.
// Source positions are clamped into the picture; nothing outside the line is written.

// v truncated toward zero and clamped into lo..hi; NaN gives lo. The only way a
// float position of the warp becomes an integer.
int truncInto(double v, int lo, int hi);

// Level 1: row `row` of images.morphWork from the same row of `input`.
void mapRowLinear(const WorkImage& input, int row, int n, int sourceLeft, int morphLeft);
// Level 1: column `column` of `output` from the same column of images.morphWork.
void mapColumnLinear(WarpImage& output, int column, int n);

// Levels 2 and 3: builds morph.sourcePlot and morph.morphPlot in pixel units of the
// line (level 2: one value per entry; level 3: value, crossing-number pairs) with a
// phantom element at each end.
void buildCurvilinearPlots(ScanPass pass, int level, int n, int sourceLeft, int morphLeft);
// Levels 2 and 3: for positions 0..count-1 of the line, the source pixel each one
// takes, read through the plots; every entry is written and lies in 0..count-1.
void curvilinearSourceIndices(int level, int n, int count, int* sourceIndex);
void mapRowCurvilinear(const WorkImage& input, int row, int n, int level, int sourceLeft,
                       int morphLeft);
void mapColumnCurvilinear(WarpImage& output, int column, int n, int level);

// Warps and blends by viewMode and morphT into morphImage, uploads it into
// morphTexture and requests a redisplay.
void composeMorph();

}  // namespace mw
