// warp.cpp -- the two-pass warp of one picture onto the intermediate net, and the
// linear quality level. The row pass moves pixels along rows into morphWork, the
// column pass along columns from morphWork into the caller's output. Nothing here
// allocates; every read and write stays inside the job's pictures whatever the
// crossing lists hold.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <cstring>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curvemath/instruction_set.h"
#include "morph/morph.h"

namespace mw {

namespace {

// Pixel offsets and scan positions are kept within this many units of the picture
// before they become integers, far beyond any position that can land inside it.
constexpr int kOffsetLimit = 100000000;
// Whole numbers up to this size are floats exactly.
constexpr int kExactInFloat = 1 << 24;

// nextPixelOffset(d) - 3 for a whole number d of bytes: the start of the pixel that
// holds byte d. Up to 2^24, float(d) is d, and d / -3.0 lies at least a third away
// from any whole number unless it is one, so its truncation is -(d / 3) in integer
// arithmetic; that saves a division in double per pixel.
int pixelStartOf(int d) {
    if (d >= -kExactInFloat && d <= kExactInFloat) return 3 * (d / 3);
    return nextPixelOffset(static_cast<float>(d)) - 3;
}

// A crossing in the byte units of the row pass: (x - left) * 3 * width / 350.
float rowByteScale(float entry, int left, int width) {
    return static_cast<float>((entry - left) * 3.0 * width / kPanelWidth);
}

// A crossing in the rows of the column pass: (y - 100) * height / 400, in float
// steps.
float columnRowScale(float entry, int height) {
    return (entry - static_cast<float>(kPanelBottom)) * static_cast<float>(height) /
           static_cast<float>(kPanelHeight);
}

bool curvilinear(int level) {
    return level == kQualitySimple || level == kQualityPrecise;
}

// The plain loop of mapRowLinear, kSpanPixels pixels a step, where AVX2 is in use
// (instruction_set.h): the same conversion, product and truncation in double
// lanes. The pixel start 3 * (d / 3) comes from trunc(d / 3.0):
// d is a whole number below 2^24 in size, so d / 3.0 is either d / 3 exactly or at
// least a third away from any whole number. Each pixel's three bytes are read as
// one four-byte word; the fourth byte is the next pixel's or the next row's, so the
// caller keeps the last row, whose fourth byte would lie past the picture, to the
// plain loop. Returns the first x it left to the plain loop.
constexpr int kSpanPixels = 4;                 // one vector of doubles
constexpr int kSpanBytes = 3 * kSpanPixels;  // a step's bytes of the row
[[gnu::target("avx2")]] int mapRowSpanAvx2(const uint8_t* rowBytes, int32_t* to, int a0, int b0,
                                           double q, int xStart, int xEnd) {
    const __m128i steps = _mm_setr_epi32(0, 3, 6, 9);
    const __m256d scale = _mm256_set1_pd(q);
    const __m256d three = _mm256_set1_pd(3.0);
    // The three bytes of each word, side by side; the last four bytes stay zero.
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = xStart;
    // While the step's last pixel starts inside the span.
    for (; x + kSpanBytes - 3 < xEnd; x += kSpanBytes) {
        const __m128i along = _mm_add_epi32(_mm_set1_epi32(x - b0), steps);
        const __m128i d = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(along), scale));
        const __m128i k = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(d), three));
        const __m128i starts =
            _mm_add_epi32(_mm_set1_epi32(a0), _mm_add_epi32(k, _mm_add_epi32(k, k)));
        // Four plain loads: a gather instruction is slower on some processors.
        alignas(16) int at[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(at), starts);
        uint32_t w[4];
        for (int i = 0; i < 4; ++i) std::memcpy(&w[i], rowBytes + at[i], 4);
        const __m128i words = _mm_setr_epi32(w[0], w[1], w[2], w[3]);
        const __m128i bytes = _mm_shuffle_epi8(words, pack);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + x), _mm256_cvtepu8_epi32(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x + 8),
                         _mm_cvtepu8_epi32(_mm_srli_si128(bytes, 8)));
    }
    return x;
}

}  // namespace

int nextPixelOffset(float v) {
    if (std::isnan(v)) return 3;  // as for 0
    return 3 * (1 - truncInto(v / -3.0, -kOffsetLimit, kOffsetLimit));
}

void mapRowLinear(const LineLists& lists, const WarpJob& job, int row, int n) {
    n = std::clamp(n, 1, kCrossingListSize - 1);
    const int width = job.grid.width;
    const int rowBytes = 3 * width;
    const int lastRowByte = rowBytes - 3;  // start of the last pixel of a row
    const size_t rowStart = static_cast<size_t>(row) * rowBytes;
    const uint8_t* input = job.input + rowStart;
    int32_t* to = job.rowPass + rowStart;
    const bool lanes = row < job.grid.height - 1 && avx2InUse();
    const auto& src = lists.sourceCrossings;
    const auto& dst = lists.morphCrossings;
    // An interval ends where the next one starts: each crossing is converted once.
    int sourceNext = nextPixelOffset(rowByteScale(src[0], job.sourceLeft, width)) - 3;
    int morphNext = nextPixelOffset(rowByteScale(dst[0], job.morphLeft, width)) - 3;
    for (int j = 0; j < n; ++j) {
        const int a0 = sourceNext;
        const int b0 = morphNext;
        sourceNext = nextPixelOffset(rowByteScale(src[j + 1], job.sourceLeft, width)) - 3;
        morphNext = nextPixelOffset(rowByteScale(dst[j + 1], job.morphLeft, width)) - 3;
        const int a1 = sourceNext;
        const int b1 = morphNext;
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
        const int xStart = std::max(b0, 0);
        const int xEnd = std::min(b1, rowBytes);
        if (xStart >= xEnd) continue;
        // Along an interval d and the pixel start grow (or shrink) with x, so when the
        // first and the last pixel need no limit, none between them does: d is then
        // a plain conversion and the pixel start 3 * (d / 3) (see pixelStartOf).
        const int xLast = xEnd - 1 - (xEnd - 1 - xStart) % 3;
        const double dFirst = (xStart - b0) * q, dLast = (xLast - b0) * q;
        const auto inRow = [&](double d) {
            if (std::fabs(d) > kExactInFloat) return false;
            const int s = a0 + pixelStartOf(static_cast<int>(d));
            return s >= 0 && s <= lastRowByte;
        };
        if (inRow(dFirst) && inRow(dLast)) {
            int x = xStart;
            if (lanes) x = mapRowSpanAvx2(input, to, a0, b0, q, xStart, xEnd);
            const uint8_t* from = input + a0;
            for (; x < xEnd; x += 3) {
                const uint8_t* pixel = from + 3 * (static_cast<int>((x - b0) * q) / 3);
                to[x] = pixel[0];
                to[x + 1] = pixel[1];
                to[x + 2] = pixel[2];
            }
            continue;
        }
        for (int x = xStart; x < xEnd; x += 3) {
            const int d = truncInto((x - b0) * q, -kOffsetLimit, kOffsetLimit);
            const int s = std::clamp(a0 + pixelStartOf(d), 0, lastRowByte);
            for (int k = 0; k < 3; ++k) to[x + k] = input[s + k];
        }
    }
}

namespace {

// The body of columnSourceRowsLinear, built twice (see below).
[[gnu::always_inline]] inline void findColumnSourceRows(const LineLists& lists, int n,
                                                        int height, int* sourceRow) {
    n = std::clamp(n, 1, kCrossingListSize - 1);
    std::fill_n(sourceRow, height, kNoSourceRow);
    const auto& src = lists.sourceCrossings;
    const auto& dst = lists.morphCrossings;
    for (int j = 0; j < n; ++j) {
        const float c0 = columnRowScale(src[j], height);
        const float c1 = columnRowScale(src[j + 1], height);
        const float d0 = columnRowScale(dst[j], height);
        const float d1 = columnRowScale(dst[j + 1], height);
        if (std::isnan(d0)) continue;
        // d1 = d0 leaves at most the one row below a fractional d0; it, like any
        // interval without a finite scale, takes the source row at the start.
        double q = 0.0;
        if (d1 != d0 && c1 != c0) {
            const float ratio = (d1 - d0) / (c1 - c0);
            if (ratio != 0.0f) q = 1.0 / ratio;
        }
        if (!std::isfinite(q)) q = 0.0;
        // The source row is read off the interval's scale in one step: truncating
        // the offset before adding a fractional c0 would give every row above a
        // crossing that falls between rows the row below it, so even a net the
        // user never reshaped would move rows. The row below a fractional d0
        // (a negative offset) takes the source row at the interval's start.
        const auto rowAt = [&](int y) {
            const float offset = static_cast<float>(y) - d0;
            return c0 + std::clamp(static_cast<double>(offset) * q, 0.0,
                                   static_cast<double>(kOffsetLimit));
        };
        const int yStart = truncInto(d0, 0, height);
        // The last row the interval covers: below d1 and inside the picture.
        int yLast = d1 > height - 1 ? height - 1 : truncInto(d1, -1, height - 1);
        if (static_cast<float>(yLast) >= d1) --yLast;
        if (!(d1 > static_cast<float>(yStart))) continue;  // covers no row (d1 may be NaN)
        // With a rising scale the source row rises with y: when the first and the
        // last row need no limit, none between them does.
        const double lastAlong = static_cast<double>(static_cast<float>(yLast) - d0) * q;
        if (q >= 0.0 && lastAlong <= kOffsetLimit && rowAt(yStart) >= 0.0 &&
            rowAt(yLast) < height - 1) {
            for (int y = yStart; y <= yLast; ++y) {
                const float offset = static_cast<float>(y) - d0;
                sourceRow[y] =
                    static_cast<int>(c0 + std::max(static_cast<double>(offset) * q, 0.0));
            }
            continue;
        }
        for (int y = yStart; y <= yLast; ++y)
            sourceRow[y] = truncInto(rowAt(y), 0, height - 1);
    }
}

}  // namespace

void columnSourceRowsLinear(const LineLists& lists, int n, int height, int* sourceRow) {
    withInstructionSet([&](auto) __attribute__((always_inline)) {
        findColumnSourceRows(lists, n, height, sourceRow);
    });
}

void copyRow(const WarpJob& job, int row, const int* sourceIndex) {
    const size_t rowStart = static_cast<size_t>(row) * 3 * job.grid.width;
    const uint8_t* from = job.input + rowStart;
    int32_t* to = job.rowPass + rowStart;
    for (int p = 0; p < job.grid.width; ++p, to += 3) {
        const uint8_t* pixel = from + sourceIndex[p] * 3;
        to[0] = pixel[0];
        to[1] = pixel[1];
        to[2] = pixel[2];
    }
}

void copyColumns(const WarpJob& job, int first, int count, const int* sourceRows) {
    const int height = job.grid.height;
    const ptrdiff_t rowSamples = static_cast<ptrdiff_t>(3) * job.grid.width;
    int32_t* const output = job.output + first * 3;
    const int32_t* const rowPass = job.rowPass + first * 3;
    // Row by row across the columns: the writes of a row are side by side.
    for (int y = 0; y < height; ++y) {
        int32_t* to = output + y * rowSamples;
        const int32_t* column = rowPass;
        const int* rows = sourceRows + y;  // column i's source row of row y
        for (int i = 0; i < count; ++i, to += 3, column += 3, rows += height) {
            const int sy = *rows;
            if (sy == kNoSourceRow) continue;
            const int32_t* pixel = column + sy * rowSamples;
            to[0] = pixel[0];
            to[1] = pixel[1];
            to[2] = pixel[2];
        }
    }
}

void mapRowLinear(const LineLists& lists, const WorkImage& input, WarpImage& rowPass, int row,
                  int n, int sourceLeft, int morphLeft) {
    WarpJob job;
    job.input = input.data();
    job.rowPass = rowPass.data();
    job.sourceLeft = sourceLeft;
    job.morphLeft = morphLeft;
    mapRowLinear(lists, job, row, n);
}

void mapColumnLinear(const LineLists& lists, const WarpImage& rowPass, WarpImage& output,
                     int column, int n) {
    WarpJob job;
    job.rowPass = const_cast<int32_t*>(rowPass.data());  // only read
    job.output = output.data();
    int rows[kWorkHeight];
    columnSourceRowsLinear(lists, n, kWorkHeight, rows);
    copyColumns(job, column, 1, rows);
}

WarpJob warpJobFor(int side, int cc, WarpImage& output, WarpImage& rowPass) {
    WarpJob job;
    job.input = side == kSideRight ? images.rightImage.data() : images.leftImage.data();
    job.rowPass = rowPass.data();
    job.output = output.data();
    job.level = state.qualityLevel;
    job.how = state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
    setWarpRanges(job, side, cc);
    return job;
}

void setWarpRanges(WarpJob& job, int side, int cc) {
    job.morphLeft = morphPanel.x1;
    job.morphRight = morphPanel.x2;
    // In every bank the first quarter of curveCount curves are vertical.
    if (side == kSideRight) {
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
}

void warpRows(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end) {
    count = std::clamp(count, 1, kPicturesAtOnce);
    const int level = jobs[0].level;  // the same for every job
    int n[kPicturesAtOnce];
    for (int chunk = first; chunk < end; chunk += kMaxLinesAtOnce) {
        const int lines = std::min(kMaxLinesAtOnce, end - chunk);
        findLineCrossings(scratch, jobs, count, ScanPass::Row, chunk, chunk + lines);
        for (int r = chunk; r < chunk + lines; ++r) {
            listLineCrossings(scratch, jobs, count, ScanPass::Row, r, r - chunk, n);
            if (level == kQualityLinear) {
                for (int j = 0; j < count; ++j) mapRowLinear(scratch.lists[j], jobs[j], r, n[j]);
            } else if (curvilinear(level)) {
                int* indices[kPicturesAtOnce];
                for (int j = 0; j < count; ++j) indices[j] = scratch.rowIndices[j].data();
                curvilinearLineIndices(scratch, jobs, count, ScanPass::Row, n, indices);
                for (int j = 0; j < count; ++j) copyRow(jobs[j], r, indices[j]);
            }
        }
    }
    scratch.rowRecordCount = scratch.recordedCount;
}

// Columns are found kColumnBlock at a time and then written row by row: one column
// at a time would touch a new cache line of both buffers at every row.
void warpColumns(const WarpJob* jobs, int count, WarpScratch& scratch, int first, int end) {
    count = std::clamp(count, 1, kPicturesAtOnce);
    const int level = jobs[0].level;
    const bool maps = level == kQualityLinear || curvilinear(level);
    const int height = jobs[0].grid.height;
    int n[kPicturesAtOnce];
    for (int chunk = first; chunk < end; chunk += kMaxLinesAtOnce) {
        const int chunkEnd = std::min(chunk + kMaxLinesAtOnce, end);
        findLineCrossings(scratch, jobs, count, ScanPass::Column, chunk, chunkEnd);
        for (int block = chunk; block < chunkEnd; block += kColumnBlock) {
            const int width = std::min(kColumnBlock, chunkEnd - block);
            for (int c = block; c < block + width; ++c) {
                listLineCrossings(scratch, jobs, count, ScanPass::Column, c, c - chunk, n);
                int* rows[kPicturesAtOnce];
                for (int j = 0; j < count; ++j)
                    rows[j] = scratch.columnRows[j].data() + static_cast<size_t>(c - block) * height;
                if (level == kQualityLinear) {
                    for (int j = 0; j < count; ++j)
                        columnSourceRowsLinear(scratch.lists[j], n[j], height, rows[j]);
                } else if (maps) {
                    curvilinearLineIndices(scratch, jobs, count, ScanPass::Column, n, rows);
                }
            }
            if (!maps) continue;
            for (int j = 0; j < count; ++j)
                copyColumns(jobs[j], block, width, scratch.columnRows[j].data());
        }
    }
}

void sizeScratch(WarpScratch& scratch, const WarpGrid& grid) {
    const size_t line = longestLine(grid);
    const size_t block = static_cast<size_t>(kColumnBlock) * grid.height;
    const auto atLeast = [](auto& vector, size_t size) {
        if (vector.size() < size) vector.resize(size);
    };
    atLeast(scratch.readings.segment, line);
    atLeast(scratch.readings.parameter, line);
    atLeast(scratch.searches, line);
    atLeast(scratch.found, line);
    for (int j = 0; j < kPicturesAtOnce; ++j) {
        atLeast(scratch.rowIndices[j], static_cast<size_t>(grid.width));
        atLeast(scratch.columnRows[j], block);
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
    sizeScratch(scratch, job.grid);
    scratch.recordedCount = 0;
    warpRows(&job, 1, scratch, 0, kWorkHeight);
    warpColumns(&job, 1, scratch, 0, kWorkWidth);
    const WarpScratch* parts[] = {&scratch};
    joinRecordedCrossings(parts, 1);
}

}  // namespace mw
