// warp.cpp -- the two-pass warp of one picture onto the intermediate net, and the
// linear quality level. The row pass moves pixels along rows into morphWork, the
// column pass along columns from morphWork into the caller's output. Nothing here
// allocates; every read and write stays inside the 256 x 293 buffers whatever the
// crossing lists hold.
#include <algorithm>
#include <cmath>

#include "app/state.h"
#include "morph/morph.h"

namespace mw {

namespace {

constexpr int kLastRowByte = kWorkRowBytes - 3;  // start of the last pixel of a row
// Pixel offsets and scan positions are kept within this many units of the picture
// before they become integers, far beyond any position that can land inside it.
constexpr int kOffsetLimit = 100000000;

// A crossing in the byte units of the row pass: (x - left) * 3 * 256 / 350.
float rowByteScale(float entry, int left) {
    return static_cast<float>((entry - left) * 3.0 * kWorkWidth / kPanelWidth);
}

// A crossing in the rows of the column pass: (y - 100) * 293 / 400, in float steps.
float columnRowScale(float entry) {
    return (entry - static_cast<float>(kPanelBottom)) * static_cast<float>(kWorkHeight) /
           static_cast<float>(kPanelHeight);
}

bool curvilinear(int level) {
    return level == kQualitySimple || level == kQualityPrecise;
}

}  // namespace

int truncInto(double v, int lo, int hi) {
    if (std::isnan(v) || v <= lo) return lo;
    if (v >= hi) return hi;
    return static_cast<int>(v);
}

int nextPixelOffset(float v) {
    if (std::isnan(v)) return 3;  // as for 0
    return 3 * (1 - truncInto(v / -3.0, -kOffsetLimit, kOffsetLimit));
}

void mapRowLinear(const LineLists& lists, const WorkImage& input, WarpImage& rowPass, int row,
                  int n, int sourceLeft, int morphLeft) {
    n = std::clamp(n, 1, kCrossingListSize - 1);
    const int rowStart = row * kWorkRowBytes;
    const auto& src = lists.sourceCrossings;
    const auto& dst = lists.morphCrossings;
    for (int j = 0; j < n; ++j) {
        const int a0 = nextPixelOffset(rowByteScale(src[j], sourceLeft)) - 3;
        const int a1 = nextPixelOffset(rowByteScale(src[j + 1], sourceLeft)) - 3;
        const int b0 = nextPixelOffset(rowByteScale(dst[j], morphLeft)) - 3;
        const int b1 = nextPixelOffset(rowByteScale(dst[j + 1], morphLeft)) - 3;
        const int destinationSpan = b1 - 3 - b0;
        const int sourceSpan = a1 - 3 - a0;
        // A one-pixel destination has ratio 0 and no finite scale: it takes the
        // pixel at the interval's start, as does a source interval of one pixel.
        double q = 0.0;
        if (destinationSpan != 0 && sourceSpan != 0) {
            const float ratio =
                static_cast<float>(static_cast<double>(destinationSpan) / sourceSpan);
            q = 1.0 / ratio;
        }
        // b0 is a pixel start, so starting at 0 keeps x on pixel starts.
        const int xEnd = std::min(b1, kWorkRowBytes);
        for (int x = std::max(b0, 0); x < xEnd; x += 3) {
            const int d = truncInto((x - b0) * q, -kOffsetLimit, kOffsetLimit);
            const int s =
                std::clamp(a0 + nextPixelOffset(static_cast<float>(d)) - 3, 0, kLastRowByte);
            for (int k = 0; k < 3; ++k) rowPass[rowStart + x + k] = input[rowStart + s + k];
        }
    }
}

void mapColumnLinear(const LineLists& lists, const WarpImage& rowPass, WarpImage& output,
                     int column, int n) {
    n = std::clamp(n, 1, kCrossingListSize - 1);
    const int colStart = column * 3;
    const auto& src = lists.sourceCrossings;
    const auto& dst = lists.morphCrossings;
    for (int j = 0; j < n; ++j) {
        const float c0 = columnRowScale(src[j]);
        const float c1 = columnRowScale(src[j + 1]);
        const float d0 = columnRowScale(dst[j]);
        const float d1 = columnRowScale(dst[j + 1]);
        if (std::isnan(d0)) continue;
        // d1 = d0 leaves at most the one row below a fractional d0; it, like any
        // interval without a finite scale, takes the source row at the start.
        double q = 0.0;
        if (d1 != d0 && c1 != c0) {
            const float ratio = (d1 - d0) / (c1 - c0);
            if (ratio != 0.0f) q = 1.0 / ratio;
        }
        if (!std::isfinite(q)) q = 0.0;
        for (int y = truncInto(d0, 0, kWorkHeight); y < kWorkHeight && static_cast<float>(y) < d1;
             ++y) {
            // The source row is read off the interval's scale in one step: truncating
            // the offset before adding a fractional c0 would give every row above a
            // crossing that falls between rows the row below it, so even a net the
            // user never reshaped would move rows. The row below a fractional d0
            // (a negative offset) takes the source row at the interval's start.
            const float offset = static_cast<float>(y) - d0;
            const double along =
                std::clamp(static_cast<double>(offset) * q, 0.0, static_cast<double>(kOffsetLimit));
            const int sy = truncInto(c0 + along, 0, kWorkHeight - 1);
            const int from = sy * kWorkRowBytes + colStart;
            const int to = y * kWorkRowBytes + colStart;
            for (int k = 0; k < 3; ++k) output[to + k] = rowPass[from + k];
        }
    }
}

WarpJob warpJobFor(int side, int cc, WarpImage& output, WarpImage& rowPass) {
    WarpJob job;
    job.rowPass = &rowPass;
    job.output = &output;
    job.morphLeft = morphPanel.x1;
    job.morphRight = morphPanel.x2;
    job.level = state.qualityLevel;
    job.how = state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
    // In every bank the first quarter of curveCount curves are vertical.
    if (side == kSideRight) {
        job.input = &images.rightImage;
        job.sourceVerticalFirst = cc / 2;
        job.sourceVerticalEnd = 3 * cc / 4;
        job.morphVerticalFirst = 2 * (cc / 2);
        job.morphVerticalEnd = cc / 2 + 3 * cc / 4;
        job.sourceHorizontalFirst = 3 * cc / 4;
        job.sourceHorizontalEnd = cc;
        job.morphHorizontalFirst = cc / 2 + 3 * cc / 4;
        job.morphHorizontalEnd = cc / 2 + cc;
        job.sourceLeft = rightPanel.x1;
        job.sourceRight = rightPanel.x2;
    } else {
        job.input = &images.leftImage;
        job.sourceVerticalFirst = 0;
        job.sourceVerticalEnd = cc / 4;
        job.morphVerticalFirst = cc;
        job.morphVerticalEnd = cc + cc / 4;
        job.sourceHorizontalFirst = cc / 4;
        job.sourceHorizontalEnd = cc / 2;
        job.morphHorizontalFirst = cc + cc / 4;
        job.morphHorizontalEnd = cc + cc / 2;
        job.sourceLeft = leftPanel.x1;
        job.sourceRight = leftPanel.x2;
    }
    return job;
}

void warpRows(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end) {
    count = std::clamp(count, 1, kPicturesAtOnce);
    const int level = jobs[0].level;  // the same for every job
    int n[kPicturesAtOnce];
    for (int r = first; r < end; ++r) {
        crossLine(scratch, jobs, count, ScanPass::Row, r, n);
        if (level == kQualityLinear) {
            for (int j = 0; j < count; ++j)
                mapRowLinear(scratch.lists[j], *jobs[j].input, *jobs[j].rowPass, r, n[j],
                             jobs[j].sourceLeft, jobs[j].morphLeft);
        } else if (curvilinear(level)) {
            mapLineCurvilinear(scratch, jobs, count, ScanPass::Row, r, n);
        }
    }
    scratch.rowRecordCount = scratch.recordedCount;
}

void warpColumns(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end) {
    count = std::clamp(count, 1, kPicturesAtOnce);
    const int level = jobs[0].level;  // the same for every job
    int n[kPicturesAtOnce];
    for (int c = first; c < end; ++c) {
        crossLine(scratch, jobs, count, ScanPass::Column, c, n);
        if (level == kQualityLinear) {
            for (int j = 0; j < count; ++j)
                mapColumnLinear(scratch.lists[j], *jobs[j].rowPass, *jobs[j].output, c, n[j]);
        } else if (curvilinear(level)) {
            mapLineCurvilinear(scratch, jobs, count, ScanPass::Column, c, n);
        }
    }
}

void warpImage(int side, WarpImage& output, int sourceVerticalFirst, int sourceVerticalEnd,
               int morphVerticalFirst, int morphVerticalEnd, int sourceHorizontalFirst,
               int sourceHorizontalEnd, int morphHorizontalFirst, int morphHorizontalEnd,
               int sourceLeft, int sourceRight, int morphLeft, int morphRight) {
    WarpJob job = warpJobFor(side, 0, output, images.morphWork);
    job.sourceVerticalFirst = sourceVerticalFirst;
    job.sourceVerticalEnd = sourceVerticalEnd;
    job.morphVerticalFirst = morphVerticalFirst;
    job.morphVerticalEnd = morphVerticalEnd;
    job.sourceHorizontalFirst = sourceHorizontalFirst;
    job.sourceHorizontalEnd = sourceHorizontalEnd;
    job.morphHorizontalFirst = morphHorizontalFirst;
    job.morphHorizontalEnd = morphHorizontalEnd;
    job.sourceLeft = sourceLeft;
    job.sourceRight = sourceRight;
    job.morphLeft = morphLeft;
    job.morphRight = morphRight;
    WarpScratch& scratch = morph.scratch[0];
    scratch.recordedCount = 0;
    warpRows(&job, 1, scratch, 0, kWorkHeight);
    warpColumns(&job, 1, scratch, 0, kWorkWidth);
    const WarpScratch* parts[] = {&scratch};
    joinRecordedCrossings(parts, 1);
}

}  // namespace mw
