// compose.cpp -- the one entry of the morph engine: warps the pictures the view
// needs onto the intermediate net, blends them into morphImage and uploads it.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/state.h"
#include "curvemath/instruction_set.h"
#include "curves/curves.h"
#include "morph/morph.h"

namespace mw {

namespace {

// Rows and columns where the threads split a warp; both split the pictures' rows of
// integers on cache-line boundaries (3072 bytes per row, 1536 bytes per half row),
// so the threads never write the same line.
constexpr int kSplitRow = kWorkHeight / 2 + 1;
constexpr int kSplitColumn = kWorkWidth / 2;

// The pictures a composition warps: one, or both of view 3, line by line together.
struct Warps {
    WarpJob jobs[kPicturesAtOnce];
    int count;
    float morphT;  // the blend of view 3
};

// Elements first .. end - 1 of morphImage: the low bytes of one warp.
void copyLowBytes(const WarpImage& warp, int first, int end) {
    for (int i = first; i < end; ++i) images.morphImage[i] = static_cast<uint8_t>(warp[i]);
}

// Low byte of trunc(v). In-range blends take the plain conversion; a morphT far
// outside [0, 1] (no caller sets one) still gives a defined byte.
uint8_t lowByteOfTruncation(double v) {
    if (v > -2147483648.0 && v < 2147483648.0) return static_cast<uint8_t>(static_cast<int32_t>(v));
    if (!std::isfinite(v)) return 0;
    double m = std::fmod(std::trunc(v), 256.0);
    if (m < 0.0) m += 256.0;
    return static_cast<uint8_t>(m);
}

// Elements first .. end - 1 of morphImage: the blend of the two warps by morphT.
// For morphT in [0, 1], keep = 1 - t is exact and keep + t = 1, so each blend lies
// between the least and the greatest 32-bit integer (products and sum rounded at
// most half a unit in the last place of a value below 2^31): the plain conversion,
// which the compiler turns into vector code, gives the same byte.
[[gnu::always_inline]] inline void blendInRange(double keep, double t, int first, int end) {
    const int32_t* left = images.leftWarp.data();
    const int32_t* right = images.rightWarp.data();
    uint8_t* out = images.morphImage.data();
    for (int i = first; i < end; ++i)
        out[i] = static_cast<uint8_t>(static_cast<int32_t>(keep * left[i] + t * right[i]));
}

void blendWarps(float morphT, int first, int end) {
    const double t = morphT;
    const double keep = 1.0 - t;
    if (t >= 0.0 && t <= 1.0) {
        withInstructionSet([&](auto) __attribute__((always_inline)) {
            blendInRange(keep, t, first, end);
        });
        return;
    }
    const int32_t* left = images.leftWarp.data();
    const int32_t* right = images.rightWarp.data();
    uint8_t* out = images.morphImage.data();
    for (int i = first; i < end; ++i) out[i] = lowByteOfTruncation(keep * left[i] + t * right[i]);
}

// The middle panel's bytes for columns first .. end - 1, once they are warped.
void finishColumns(const Warps& warps, int first, int end) {
    for (int y = 0; y < kWorkHeight; ++y) {
        const int from = y * kWorkRowBytes + first * 3;
        const int to = y * kWorkRowBytes + end * 3;
        if (warps.count == kPicturesAtOnce)
            blendWarps(warps.morphT, from, to);
        else
            copyLowBytes(*warps.jobs[0].output, from, to);
    }
}

// Each thread takes half of the rows, and then, once every row is done (the column
// pass reads whole columns of the row pass), half of the columns.
void warpHalfOfTheRows(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    WarpScratch& scratch = morph.scratch[part];
    scratch.recordedCount = 0;
    warpRows(warps.jobs, warps.count, scratch, part == 0 ? 0 : kSplitRow,
             part == 0 ? kSplitRow : kWorkHeight);
}

// A thread's columns of the middle panel need only its own columns of the warps:
// each chunk of them is finished while the warps' chunk is still in the cache.
void warpHalfOfTheColumns(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    const int first = part == 0 ? 0 : kSplitColumn;
    const int end = part == 0 ? kSplitColumn : kWorkWidth;
    for (int chunk = first; chunk < end; chunk += kMaxLinesAtOnce) {
        const int chunkEnd = std::min(chunk + kMaxLinesAtOnce, end);
        warpColumns(warps.jobs, warps.count, morph.scratch[part], chunk, chunkEnd);
        finishColumns(warps, chunk, chunkEnd);
    }
}

void warpInHalves(const Warps& warps) {
    runBothParts(warpHalfOfTheRows, &warps);
    runBothParts(warpHalfOfTheColumns, &warps);
    const WarpScratch* parts[] = {&morph.scratch[0], &morph.scratch[1]};
    joinRecordedCrossings(parts, 2);
}

void warpOnePicture(int side, WarpImage& output) {
    Warps warps{{warpJobFor(side, store.curveCount, output, images.morphWork)}, 1, 0.0f};
    warpInHalves(warps);
}

// The left picture's crossings would be replaced by the right one's, as when the
// pictures were warped one after the other: only the right one records them.
void warpBothPictures() {
    Warps warps{{warpJobFor(kSideLeft, store.curveCount, images.leftWarp, images.morphWork),
                 warpJobFor(kSideRight, store.curveCount, images.rightWarp, morph.helperRowPass)},
                kPicturesAtOnce,
                state.morphT};
    warps.jobs[0].record = false;
    warpInHalves(warps);
}

}  // namespace

// Called by key S while morphing, by every slider drag and by each animation step.
// Reads the intermediate bank as the last display pass built it.
void composeMorph() {
    switch (state.viewMode) {
        case kViewLeft:
            warpOnePicture(kSideLeft, images.leftWarp);
            break;
        case kViewRight:
            warpOnePicture(kSideRight, images.rightWarp);
            break;
        case kViewBoth:
            warpBothPictures();
            break;
        default:  // nothing to warp: the previous picture is uploaded again
            break;
    }
    glBindTexture(GL_TEXTURE_2D, images.morphTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kWorkWidth, kWorkHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 images.morphImage.data());
    glutPostRedisplay();
}

}  // namespace mw
