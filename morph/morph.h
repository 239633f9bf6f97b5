// morph.h -- the morph engine: the intermediate net, the crossings of both nets
// with each scan line, the two-pass warp at three quality levels, and the
// composition of the middle panel's picture. composeMorph is its one entry.
//
// Threads. The program runs three kinds of thread, each with its own role:
// - the event thread (GLUT's) owns the program state, the curve store, the
//   pictures, GL and every decision; it alone reads input and draws;
// - the engine's helpers (morph.threads - 1 worker threads, morph/workers.h): a
//   composition splits the rows, and then the columns, into morph.threads parts;
//   the event thread warps part 0 and each helper one other part, in its own
//   WarpScratch (a fixed span of the lines where crossings are recorded for the
//   overlay, else 64 lines at a time, taken by whichever part asks next). They read the curve store and the pictures and write only their
//   scratch and their part of the output; composeMorph waits for every part
//   before it goes on, so everything else (morph.intersectionPoints among it) is
//   touched by the event thread alone;
// - the frame writer (export.h), which writes the animation's frames.
#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "panels/panels.h"

namespace mw {

// --- Entry points ------------------------------------------------------------------

// Warps and blends by viewMode and morphT into morphImage, uploads it into
// morphTexture and requests a redisplay. Called by key S while morphing, by every
// slider drag and by each animation step; reads the intermediate bank as the last
// display pass built it.
void composeMorph();

// The grid a warp runs on: its pictures' width and height in pixels. The
// workstation's pictures are on kWorkstationGrid; the renderer's are the size of
// its frames. Pictures are 3 bytes (or 3 integers) per pixel, rows bottom-up.
struct WarpGrid {
    int width = kWorkWidth;
    int height = kWorkHeight;
};
constexpr WarpGrid kWorkstationGrid{};

// The longest line of a grid: the positions of a row or a column, whichever is more.
inline int longestLine(const WarpGrid& grid) {
    return grid.width > grid.height ? grid.width : grid.height;
}

// What one composition reads and writes, all pictures on one grid (rows
// bottom-up), and the settings it runs with. composeMorph fills it from the
// workstation's buffers and state; the renderer from its own.
struct Composition {
    WarpGrid grid;
    const uint8_t* leftImage = nullptr;
    const uint8_t* rightImage = nullptr;
    // The row passes: rowPass[0] the only picture's of views 1 and 2 and the left
    // one's of view 3, rowPass[1] the right one's of view 3.
    int32_t* rowPass[2] = {nullptr, nullptr};
    int32_t* leftWarp = nullptr;
    int32_t* rightWarp = nullptr;
    uint8_t* morphImage = nullptr;
    int viewMode = 0;  // a kView value; any other composes nothing
    int level = 0;     // a kQuality value
    Inversion how = Inversion::Bisection;
    float morphT = 0.0f;
    int curveCount = 0;  // of the curve store, whose banks the warps read
    bool record = true;  // keep the crossings for the overlay in morph.intersectionPoints
};
// Warps the pictures the view needs onto the intermediate net and blends them by
// morphT into c.morphImage, on morph.threads threads. Calls neither GL nor GLUT.
void compose(const Composition& c);

// Rebuilds the intermediate bank from the left and right banks for morphT.
// Called by the display pass only, while morphing.
void buildIntermediateCurves();

// --- State of the engine -------------------------------------------------------------

constexpr int kCrossingListSize = 100;
constexpr int kIntersectionFloats = 200000;
constexpr int kWorkstationThreads = 2;  // the event thread and one helper
constexpr int kMaxEngineThreads = 64;
constexpr int kPicturesAtOnce = 2;  // view 3 warps both pictures line by line together

enum class ScanPass { Row, Column };

// One picture's lists and plots of the current scan line.
struct LineLists {
    // Near border, crossings in curve order, far border twice.
    std::array<float, kCrossingListSize> sourceCrossings{};
    std::array<float, kCrossingListSize> morphCrossings{};
    // Plots of the curvilinear levels.
    std::array<float, kCrossingListSize> sourcePlot{};
    std::array<float, kCrossingListSize> morphPlot{};
};

// The crossings of one range of curves with the current scan line: found[i] and
// at[i] (the crossing's other coordinate) for curve first + i.
struct RangeCrossings {
    int count = 0;
    std::array<bool, kCurveNumbers> found{};
    std::array<float, kCurveNumbers> at{};
};

// What the positions of a line read through the plots at levels 2 and 3, before
// the source plot's positions come in: for each position, the source plot's
// segment and the parameter on it, or -1 where the position keeps itself. Sized
// for the longest line of the grid.
struct PlotReadings {
    std::vector<int> segment = std::vector<int>(longestLine(kWorkstationGrid));
    std::vector<float> parameter = std::vector<float>(longestLine(kWorkstationGrid));
};

// One vector of `size` integers per picture.
inline std::array<std::vector<int>, kPicturesAtOnce> perPicture(size_t size) {
    return {std::vector<int>(size), std::vector<int>(size)};
}

// The row of the row pass each row of a column takes, or kNoSourceRow where no
// interval of the column pass covers it (the output keeps what it held).
constexpr int kNoSourceRow = -1;
constexpr int kColumnBlock = 16;  // columns found before they are written

// Scan lines whose crossings are searched together: a curve's searches of them run
// side by side in the vector lanes.
constexpr int kMaxLinesAtOnce = 64;
using ChunkCrossings = std::array<RangeCrossings, kMaxLinesAtOnce>;

// What one thread of the engine works in while it warps lines of one picture, or
// of both pictures of view 3 (lists[0] the left one's, lists[1] the right one's).
struct WarpScratch {
    std::array<LineLists, kPicturesAtOnce> lists{};
    // The source pixel of every position of a row, per picture; the source rows of
    // a block of columns, column i's from element i * height on.
    std::array<std::vector<int>, kPicturesAtOnce> rowIndices = perPicture(kWorkWidth);
    std::array<std::vector<int>, kPicturesAtOnce> columnRows =
        perPicture(static_cast<size_t>(kColumnBlock) * kWorkHeight);
    // The crossings of the lines searched together, per picture: its source range's
    // and the intermediate range's (targetOf[j] says whose: both pictures of view 3
    // share job 0's).
    std::array<ChunkCrossings, kPicturesAtOnce> sourceCrossings{}, targetCrossings{};
    std::array<int, kPicturesAtOnce> targetOf{};
    SegmentBatch batch{};  // the segments of the searches under way
    PlotReadings readings{};
    // The searches of a line's positions and what they found.
    std::vector<SegmentSearch> searches =
        std::vector<SegmentSearch>(longestLine(kWorkstationGrid));
    std::vector<float> found = std::vector<float>(longestLine(kWorkstationGrid));
    // Crossings this thread found for the overlay, x, y pairs in the order the scan
    // lines were searched; the rows' before the columns' (rowRecordCount marks the
    // end of the rows'). Joined into morph.intersectionPoints after the warp.
    std::array<float, kIntersectionFloats> recorded{};
    int recordedCount = 0;  // floats used
    int rowRecordCount = 0;
};

// Scratch and results of the last warp.
struct MorphState {
    // Threads a composition runs on: the calling thread and threads - 1 helpers,
    // each warping its part of the lines in its own scratch.
    int threads = kWorkstationThreads;
    std::vector<WarpScratch> scratch = std::vector<WarpScratch>(kWorkstationThreads);
    // The right picture's row pass in view 3 (the left one's goes to images.morphWork).
    WarpImage helperRowPass{};
    // Crossings found by the last warp, x, y pairs in GL pixels, for the overlay.
    std::array<float, kIntersectionFloats> intersectionPoints{};
    int intersectionCount = 0;  // floats used, two per crossing
};

extern MorphState morph;

// Sizes every line's worth of the scratch for the grid: a scratch starts sized for
// the workstation's grid, and a larger grid widens it.
void sizeScratch(WarpScratch& scratch, const WarpGrid& grid);

// --- One composition: its warps, by rows and by columns (warp.cpp) ---------------

// A warp as the event thread sets it up before any thread starts: which picture,
// where its row pass goes, the curve ranges (half-open), the panel borders, and the
// settings it was asked with. The threads read nothing else of the program state.
struct WarpJob {
    WarpGrid grid;
    const uint8_t* input = nullptr;  // the picture
    int32_t* rowPass = nullptr;      // the row pass's result, read by the column pass
    int32_t* output = nullptr;       // the warped picture
    int sourceVerticalFirst = 0, sourceVerticalEnd = 0;
    int morphVerticalFirst = 0, morphVerticalEnd = 0;
    int sourceHorizontalFirst = 0, sourceHorizontalEnd = 0;
    int morphHorizontalFirst = 0, morphHorizontalEnd = 0;
    int sourceLeft = 0, sourceRight = 0, morphLeft = 0, morphRight = 0;
    int level = 0;                         // qualityLevel
    Inversion how = Inversion::Bisection;  // useBinarySearch
    bool record = true;                    // keep the crossings for the overlay
};

// The job for side kSideLeft or kSideRight of the workstation with the curve
// ranges of curveCount cc, writing `output` and with the current qualityLevel and
// useBinarySearch.
WarpJob warpJobFor(int side, int cc, WarpImage& output, WarpImage& rowPass);
// The curve ranges and panel borders of side kSideLeft or kSideRight for curveCount
// cc, set in `job`.
void setWarpRanges(WarpJob& job, int side, int cc);

// Rows first .. end - 1 of the row pass (into each job's rowPass), or columns
// first .. end - 1 of the column pass (from each job's rowPass into its output), for
// `count` jobs (1, or the two pictures of view 3, which share the intermediate net:
// its crossings with a line, and what the line's positions read off its plot, are
// found once for both).
void warpRows(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end);
void warpColumns(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end);

// --- Crossings (crossings.cpp) -----------------------------------------------------

// Searches the crossings of every job's ranges with lines first .. end - 1 (at most
// kMaxLinesAtOnce) of the pass into scratch.sourceCrossings / targetCrossings.
void findLineCrossings(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                       int first, int end);
// Then fills each job's lists (scratch.lists[j]) for line `line` (chunkIndex within
// the lines searched) and, for a job with `record` set, appends the crossings found
// for the overlay to scratch.recorded: its source range's (when found by bisection)
// before the intermediate range's. Source curve i and intermediate curve i of the
// two ranges take part only when both cross the line. n[j] = the curves taking part
// + 2; entry n - 1 and entry n hold the far border.
void listLineCrossings(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                       int line, int chunkIndex, int* n);
// Joins the crossings the threads recorded, in the order one thread searching every
// row and then every column records them, into morph.intersectionPoints (at most
// kIntersectionFloats; what does not fit is dropped). `parts` scratches, the first
// holding the first rows and the first columns.
void joinRecordedCrossings(const WarpScratch* const* parts, int count);

// --- Filling one scan line from its crossing lists (warp.cpp, curvilinear.cpp) ---
// Each reads the first n + 1 (linear) or n (curvilinear) entries of the lists as
// listLineCrossings left them. Source positions are clamped into the picture; nothing
// outside the line is written.

// Byte offset of the pixel after the one that holds byte v of an RGB row.
int nextPixelOffset(float v);

// v truncated toward zero and clamped into lo..hi; NaN gives lo. The only way a
// float position of the warp becomes an integer.
inline int truncInto(double v, int lo, int hi) {
    if (std::isnan(v) || v <= lo) return lo;
    if (v >= hi) return hi;
    return static_cast<int>(v);
}

// Level 1: row `row` of the job's row pass from the same row of its picture.
void mapRowLinear(const LineLists& lists, const WarpJob& job, int row, int n);
// Level 1 for columns: the source row of every row of a column (height rows), then
// the copy, which takes `count` columns from `first` on at once (the source rows of
// column first + i from sourceRows[i * height] on).
void columnSourceRowsLinear(const LineLists& lists, int n, int height, int* sourceRow);
void copyColumns(const WarpJob& job, int first, int count, const int* sourceRows);
// Row `row` of the row pass from the same row of the picture, position p from
// sourceIndex[p].
void copyRow(const WarpJob& job, int row, const int* sourceIndex);

// Levels 2 and 3: builds the lists' sourcePlot and morphPlot in pixel units of the
// line (level 2: one value per entry; level 3: value, crossing-number pairs) with a
// phantom element at each end.
void buildCurvilinearPlots(LineLists& lists, ScanPass pass, int level, int n, int sourceLeft,
                           int morphLeft, const WarpGrid& grid);
// Levels 2 and 3: what positions 0..count-1 read off the plots of `lists` before the
// source plot's positions come in, into scratch.readings. At level 3 that includes
// the crossing numbers of the source plot, which depend on n alone.
void readPlots(WarpScratch& scratch, const LineLists& lists, int level, Inversion how, int n,
               int count);
// Then the source pixel each position takes; every entry is written and lies in
// 0..count-1. Positions and readings are as many as `count`, at most the longest line
// the scratch is sized for.
void sourceIndicesFrom(const LineLists& lists, const PlotReadings& readings, int level, int n,
                       int count, int* sourceIndex);
// Levels 2 and 3 for one line of every job, after listLineCrossings: the source pixel of
// every position into sourceIndex[j] for job j. The positions' readings are shared
// by the jobs whose morph plots agree.
void curvilinearLineIndices(WarpScratch& scratch, const WarpJob* jobs, int count, ScanPass pass,
                            const int* n, int* const* sourceIndex);

// --- One picture, one line, one curve at a time ------------------------------------
// The forms the tests and benchmarks call; the program warps only through
// composeMorph.

// Warps leftImage (kSideLeft) or rightImage (kSideRight) onto the intermediate net
// on the calling thread alone, through images.morphWork, and leaves its crossings
// in morph.intersectionPoints. Ranges are half-open curve-number ranges.
void warpImage(int side, WarpImage& output, int sourceVerticalFirst, int sourceVerticalEnd,
               int morphVerticalFirst, int morphVerticalEnd, int sourceHorizontalFirst,
               int sourceHorizontalEnd, int morphHorizontalFirst, int morphHorizontalEnd,
               int sourceLeft, int sourceRight, int morphLeft, int morphRight);

// Where curve c crosses the scan line at v (a row's y or a column's x). Returns
// true and sets `other` (x for a row, y for a column) when it crosses.
bool findCrossing(int c, float v, ScanPass pass, Inversion how, float& other);

// The lists of one line for one picture with the given ranges and borders, into
// scratch.lists[0], as findLineCrossings and listLineCrossings make them.
int buildCrossingLists(WarpScratch& scratch, ScanPass pass, int line, Inversion how, bool record,
                       int sourceFirst, int sourceEnd, int morphFirst, int morphEnd, int sourceLeft,
                       int sourceRight, int morphLeft, int morphRight);

// Level 1 on the workstation's grid: row `row` of rowPass from the same row of
// `input`, and column `column` of `output` from the same column of rowPass.
void mapRowLinear(const LineLists& lists, const WorkImage& input, WarpImage& rowPass, int row,
                  int n, int sourceLeft, int morphLeft);
void mapColumnLinear(const LineLists& lists, const WarpImage& rowPass, WarpImage& output,
                     int column, int n);
// Levels 2 and 3: readPlots and sourceIndicesFrom on scratch.lists[0].
void curvilinearSourceIndices(WarpScratch& scratch, int level, Inversion how, int n, int count,
                              int* sourceIndex);
// One picture's row or column through scratch.lists[0], plots built here.
void mapRowCurvilinear(WarpScratch& scratch, const WorkImage& input, WarpImage& rowPass, int row,
                       int n, int level, Inversion how, int sourceLeft, int morphLeft);
void mapColumnCurvilinear(WarpScratch& scratch, const WarpImage& rowPass, WarpImage& output,
                          int column, int n, int level, Inversion how);
}  // namespace mw
