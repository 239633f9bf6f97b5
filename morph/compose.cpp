// compose.cpp -- the one entry of the morph engine: warps the pictures the view
// needs onto the intermediate net, blends them into morphImage and uploads it.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "app/state.h"
#include "curvemath/instruction_set.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "morph/workers.h"

namespace mw {

namespace {

// The pictures a composition warps (one, or both of view 3, line by line
// together) and into how many parts the lines are split.
struct Warps {
    WarpJob jobs[kPicturesAtOnce];
    int count;
    float morphT;  // the blend of view 3
    int parts;
};

// The engine's helper threads: part p of a composition runs on helpers[p - 1].
std::array<Worker, kMaxEngineThreads - 1> helpers;

// Runs work(context, p) for every part p below `parts`: part 0 on this thread, the
// others at the same time on the helpers, whose threads are started the first
// time; returns when every part has finished. A part whose helper has no thread
// runs here after part 0.
void runParts(WorkerTask work, const void* context, int parts) {
    bool handed[kMaxEngineThreads] = {};
    for (int p = 1; p < parts; ++p) {
        handed[p] = startWorkerThread(helpers[p - 1]);
        if (handed[p]) handOver(helpers[p - 1], work, context, p);
    }
    work(context, 0);
    for (int p = 1; p < parts; ++p)
        if (!handed[p]) work(context, p);
    for (int p = 1; p < parts; ++p)
        if (handed[p]) waitForWorker(helpers[p - 1]);
}

// Lines first .. end - 1 of `lines` that part p of `parts` takes: as many as the
// others, give or take one.
struct Span {
    int first, end;
};
Span partOf(int lines, int p, int parts) {
    return {lines * p / parts, lines * (p + 1) / parts};
}

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

// Each thread takes its part of the rows, and then, once every row is done (the
// column pass reads whole columns of the row pass), its part of the columns, each
// in its own scratch.
void warpPartOfTheRows(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    WarpScratch& scratch = morph.scratch[part];
    scratch.recordedCount = 0;
    const Span rows = partOf(kWorkHeight, part, warps.parts);
    warpRows(warps.jobs, warps.count, scratch, rows.first, rows.end);
}

// A thread's columns of the middle panel need only its own columns of the warps:
// each chunk of them is finished while the warps' chunk is still in the cache.
void warpPartOfTheColumns(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    const Span columns = partOf(kWorkWidth, part, warps.parts);
    for (int chunk = columns.first; chunk < columns.end; chunk += kMaxLinesAtOnce) {
        const int chunkEnd = std::min(chunk + kMaxLinesAtOnce, columns.end);
        warpColumns(warps.jobs, warps.count, morph.scratch[part], chunk, chunkEnd);
        finishColumns(warps, chunk, chunkEnd);
    }
}

void warpInParts(Warps& warps) {
    warps.parts = std::clamp(morph.threads, 1, kMaxEngineThreads);
    if (morph.scratch.size() < static_cast<size_t>(warps.parts)) morph.scratch.resize(warps.parts);
    runParts(warpPartOfTheRows, &warps, warps.parts);
    runParts(warpPartOfTheColumns, &warps, warps.parts);
    const WarpScratch* parts[kMaxEngineThreads];
    for (int p = 0; p < warps.parts; ++p) parts[p] = &morph.scratch[p];
    joinRecordedCrossings(parts, warps.parts);
}

void warpOnePicture(int side, WarpImage& output) {
    Warps warps{{warpJobFor(side, store.curveCount, output, images.morphWork)}, 1, 0.0f, 1};
    warpInParts(warps);
}

// After a composition of view 3 the overlay shows the right picture's crossings
// (on the right panel and the morph panel): only the right one records them.
void warpBothPictures() {
    Warps warps{{warpJobFor(kSideLeft, store.curveCount, images.leftWarp, images.morphWork),
                 warpJobFor(kSideRight, store.curveCount, images.rightWarp, morph.helperRowPass)},
                kPicturesAtOnce,
                state.morphT,
                1};
    warps.jobs[0].record = false;
    warpInParts(warps);
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
