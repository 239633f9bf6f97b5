// compose.cpp -- the one entry of the morph engine: warps the pictures the view
// needs onto the intermediate net, blends them into morphImage and uploads it.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cmath>
#include <cstdint>

#include "app/state.h"
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
};

// Each thread takes half of the rows, and then, once every row is done (the column
// pass reads whole columns of the row pass), half of the columns.
void warpHalfOfTheRows(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    WarpScratch& scratch = morph.scratch[part];
    scratch.recordedCount = 0;
    warpRows(warps.jobs, warps.count, scratch, part == 0 ? 0 : kSplitRow,
             part == 0 ? kSplitRow : kWorkHeight);
}

void warpHalfOfTheColumns(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    warpColumns(warps.jobs, warps.count, morph.scratch[part], part == 0 ? 0 : kSplitColumn,
                part == 0 ? kSplitColumn : kWorkWidth);
}

void warpInHalves(const Warps& warps) {
    runBothParts(warpHalfOfTheRows, &warps);
    runBothParts(warpHalfOfTheColumns, &warps);
    const WarpScratch* parts[] = {&morph.scratch[0], &morph.scratch[1]};
    joinRecordedCrossings(parts, 2);
}

void warpOnePicture(int side, WarpImage& output) {
    Warps warps{{warpJobFor(side, store.curveCount, output, images.morphWork)}, 1};
    warpInHalves(warps);
}

// The left picture's crossings would be replaced by the right one's, as when the
// pictures were warped one after the other: only the right one records them.
void warpBothPictures() {
    Warps warps{{warpJobFor(kSideLeft, store.curveCount, images.leftWarp, images.morphWork),
                 warpJobFor(kSideRight, store.curveCount, images.rightWarp, morph.helperRowPass)},
                2};
    warps.jobs[0].record = false;
    warpInHalves(warps);
}

void copyLowBytes(const WarpImage& warp) {
    for (int i = 0; i < kWorkBytes; ++i) images.morphImage[i] = static_cast<uint8_t>(warp[i]);
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

void blendWarps(float morphT) {
    const double t = morphT;
    const double keep = 1.0 - t;
    for (int i = 0; i < kWorkBytes; ++i)
        images.morphImage[i] =
            lowByteOfTruncation(keep * images.leftWarp[i] + t * images.rightWarp[i]);
}

}  // namespace

// Called by key S while morphing, by every slider drag and by each animation step.
// Reads the intermediate bank as the last display pass built it.
void composeMorph() {
    switch (state.viewMode) {
        case kViewLeft:
            warpOnePicture(kSideLeft, images.leftWarp);
            copyLowBytes(images.leftWarp);
            break;
        case kViewRight:
            warpOnePicture(kSideRight, images.rightWarp);
            copyLowBytes(images.rightWarp);
            break;
        case kViewBoth:
            warpBothPictures();
            blendWarps(state.morphT);
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
