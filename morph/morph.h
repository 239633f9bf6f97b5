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

// Warps leftImage (side 1) or rightImage (side 2) onto the intermediate net.
// Ranges are half-open curve-number ranges.
void warpImage(int side, WarpImage& output, int sourceVerticalFirst, int sourceVerticalEnd,
               int morphVerticalFirst, int morphVerticalEnd, int sourceHorizontalFirst,
               int sourceHorizontalEnd, int morphHorizontalFirst, int morphHorizontalEnd,
               int sourceLeft, int sourceRight, int morphLeft, int morphRight);

// Warps and blends by viewMode and morphT into morphImage, uploads it into
// morphTexture and requests a redisplay.
void composeMorph();

}  // namespace mw
