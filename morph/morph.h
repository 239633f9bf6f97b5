// morph.h -- the morph engine: the intermediate net, the crossings of both nets
// with each scan line, the two-pass warp at three quality levels, and the
// composition of the middle panel's picture.
//
// Threads: a composition runs on the event thread and on one helper thread of the
// engine (workers.cpp), each warping its own picture or half of one in its own
// WarpScratch. They read the curve store and the pictures and write only their
// own scratch and their own part of the output; everything else (the program
// state, the curve store, GL, morph.intersectionPoints) is touched by the event
// thread alone, before the helper starts or after it has finished.
#pragma once

#include <array>

#include "curvemath/curvemath.h"
#include "panels/panels.h"

namespace mw {

constexpr int kCrossingListSize = 100;
constexpr int kIntersectionFloats = 200000;
constexpr int kEngineThreads = 2;  // the event thread and one helper

enum class ScanPass { Row, Column };

// What one thread of the engine works in while it warps a picture or part of one.
struct WarpScratch {
    // Rebuilt for every scan line: near border, crossings in curve order, far border twice.
    std::array<float, kCrossingListSize> sourceCrossings{};
    std::array<float, kCrossingListSize> morphCrossings{};
    // Plots of the curvilinear levels, rebuilt for every scan line.
    std::array<float, kCrossingListSize> sourcePlot{};
    std::array<float, kCrossingListSize> morphPlot{};
    // The segments of the searches under way (a curve's, or a plot's).
    SegmentBatch batch{};
    // Crossings this thread found for the overlay, x, y pairs in the order the scan
    // lines were searched; the rows' before the columns' (rowRecordCount marks the
    // end of the rows'). Joined into morph.intersectionPoints after the warp.
    std::array<float, kIntersectionFloats> recorded{};
    int recordedCount = 0;  // floats used
    int rowRecordCount = 0;
};

// Scratch and results of the last warp.
struct MorphState {
    std::array<WarpScratch, kEngineThreads> scratch{};
    // The row pass of the helper thread's picture (the event thread's goes to
    // images.morphWork).
    WarpImage helperRowPass{};
    // Crossings found by the last warp, x, y pairs in GL pixels, for the overlay.
    std::array<float, kIntersectionFloats> intersectionPoints{};
    int intersectionCount = 0;  // floats used, two per crossing
};

extern MorphState morph;

// Rebuilds the intermediate bank from the left and right banks for morphT.
// Called by the display pass only, while morphing.
void buildIntermediateCurves();

// --- One warp ----------------------------------------------------------------------

// A warp as the event thread sets it up before any thread starts: which picture,
// where its row pass goes, the curve ranges (half-open), the panel borders, and the
// settings it was asked with. The threads read nothing else of the program state.
struct WarpJob {
    const WorkImage* input = nullptr;
    WarpImage* rowPass = nullptr;
    WarpImage* output = nullptr;
    int sourceVerticalFirst = 0, sourceVerticalEnd = 0;
    int morphVerticalFirst = 0, morphVerticalEnd = 0;
    int sourceHorizontalFirst = 0, sourceHorizontalEnd = 0;
    int morphHorizontalFirst = 0, morphHorizontalEnd = 0;
    int sourceLeft = 0, sourceRight = 0, morphLeft = 0, morphRight = 0;
    int level = 0;                         // qualityLevel
    Inversion how = Inversion::Bisection;  // useBinarySearch
    bool record = true;                    // keep the crossings for the overlay
};

// The job for side kSideLeft or kSideRight with the curve ranges of curveCount cc,
// writing `output` and with the current qualityLevel and useBinarySearch.
WarpJob warpJobFor(int side, int cc, WarpImage& output, WarpImage& rowPass);

// Rows first .. end - 1 of the row pass (into job.rowPass), or columns first ..
// end - 1 of the column pass (from job.rowPass into job.output).
void warpRows(const WarpJob& job, WarpScratch& scratch, int first, int end);
void warpColumns(const WarpJob& job, WarpScratch& scratch, int first, int end);

// Warps leftImage (kSideLeft) or rightImage (kSideRight) onto the intermediate net
// on the calling thread alone, through images.morphWork, and leaves its crossings
// in morph.intersectionPoints. Ranges are half-open curve-number ranges.
void warpImage(int side, WarpImage& output, int sourceVerticalFirst, int sourceVerticalEnd,
               int morphVerticalFirst, int morphVerticalEnd, int sourceHorizontalFirst,
               int sourceHorizontalEnd, int morphHorizontalFirst, int morphHorizontalEnd,
               int sourceLeft, int sourceRight, int morphLeft, int morphRight);

// --- Crossings (crossings.cpp) -----------------------------------------------------

// Where curve c crosses the scan line at v (a row's y or a column's x). Returns
// true and sets `other` (x for a row, y for a column) when it crosses.
bool findCrossing(int c, float v, ScanPass pass, Inversion how, float& other);

// Fills scratch.sourceCrossings and scratch.morphCrossings for one scan line (row
// r of the row pass, or column c of the column pass) and, when `record` is set,
// appends the crossings found for the overlay to scratch.recorded. Source curve i
// and intermediate curve i of the two ranges take part only when both cross the
// line. Returns n: the curves taking part + 2; entry n - 1 and entry n hold the far
// border.
int buildCrossingLists(WarpScratch& scratch, ScanPass pass, int line, Inversion how, bool record,
                       int sourceFirst, int sourceEnd, int morphFirst, int morphEnd, int sourceLeft,
                       int sourceRight, int morphLeft, int morphRight);

// Joins the crossings the threads recorded, in the order one thread searching every
// row and then every column records them, into morph.intersectionPoints (at most
// kIntersectionFloats; what does not fit is dropped). `parts` scratches, the first
// holding the first rows and the first columns.
void joinRecordedCrossings(const WarpScratch* const* parts, int count);

// --- Filling one scan line from its crossing lists (warp.cpp, curvilinear.cpp) ---
// Each reads the first n + 1 (linear) or n (curvilinear) entries of the scratch's
// crossing lists as buildCrossingLists left them. Source positions are clamped into
// the picture; nothing outside the line is written.

// Byte offset of the pixel after the one that holds byte v of an RGB row.
int nextPixelOffset(float v);

// v truncated toward zero and clamped into lo..hi; NaN gives lo. The only way a
// float position of the warp becomes an integer.
int truncInto(double v, int lo, int hi);

// Level 1: row `row` of rowPass from the same row of `input`.
void mapRowLinear(const WarpScratch& scratch, const WorkImage& input, WarpImage& rowPass, int row,
                  int n, int sourceLeft, int morphLeft);
// Level 1: column `column` of `output` from the same column of rowPass.
void mapColumnLinear(const WarpScratch& scratch, const WarpImage& rowPass, WarpImage& output,
                     int column, int n);

// Levels 2 and 3: builds the scratch's sourcePlot and morphPlot in pixel units of
// the line (level 2: one value per entry; level 3: value, crossing-number pairs)
// with a phantom element at each end.
void buildCurvilinearPlots(WarpScratch& scratch, ScanPass pass, int level, int n, int sourceLeft,
                           int morphLeft);
// Levels 2 and 3: for positions 0..count-1 of the line, the source pixel each one
// takes, read through the plots; every entry is written and lies in 0..count-1.
void curvilinearSourceIndices(WarpScratch& scratch, int level, Inversion how, int n, int count,
                              int* sourceIndex);
void mapRowCurvilinear(WarpScratch& scratch, const WorkImage& input, WarpImage& rowPass, int row,
                       int n, int level, Inversion how, int sourceLeft, int morphLeft);
void mapColumnCurvilinear(WarpScratch& scratch, const WarpImage& rowPass, WarpImage& output,
                          int column, int n, int level, Inversion how);

// --- Composition (compose.cpp) -----------------------------------------------------

// Warps and blends by viewMode and morphT into morphImage, uploads it into
// morphTexture and requests a redisplay.
void composeMorph();

// --- The helper thread (workers.cpp) -----------------------------------------------

// A piece of work in two parts: part 0 runs on the event thread, part 1 on the
// helper thread, at the same time.
using EnginePart = void (*)(const void* context, int part);
// Runs both parts and returns when both have finished. The helper thread is
// started the first time and lives until the program ends; if it cannot be
// started, both parts run here, one after the other.
void runBothParts(EnginePart work, const void* context);

}  // namespace mw
