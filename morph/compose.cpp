// compose.cpp -- the one entry of the morph engine: warps the pictures the view
// needs onto the intermediate net, blends them into morphImage and uploads it.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <atomic>
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
// together), what it makes of them, and how its lines are shared among the parts:
// in fixed spans where crossings are recorded for the overlay (their order is
// the lines' order within each part), else a chunk at a time to whichever part
// asks next, so that a thread that lost its core for a while does less.
struct Warps {
    WarpJob jobs[kPicturesAtOnce];
    int count;
    float morphT;  // the blend of view 3
    const Composition* composition;
    int parts;
    bool inChunks;
    mutable std::atomic<int> nextRows, nextColumns;  // the first line of the next chunk
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

// Elements first .. end - 1 of `out`: the low bytes of one warp.
void copyLowBytes(const int32_t* warp, uint8_t* out, size_t first, size_t end) {
    for (size_t i = first; i < end; ++i) out[i] = static_cast<uint8_t>(warp[i]);
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

// Elements first .. end - 1 of `out`: the blend of the two warps by morphT. For
// morphT in [0, 1], keep = 1 - t is exact and keep + t = 1, so each blend lies
// between the least and the greatest 32-bit integer (products and sum rounded at
// most half a unit in the last place of a value below 2^31): the plain conversion,
// which the compiler turns into vector code, gives the same byte.
[[gnu::always_inline]] inline void blendInRange(const int32_t* left, const int32_t* right,
                                                uint8_t* out, double keep, double t,
                                                size_t first, size_t end) {
    for (size_t i = first; i < end; ++i)
        out[i] = static_cast<uint8_t>(static_cast<int32_t>(keep * left[i] + t * right[i]));
}

void blendWarps(const Composition& c, float morphT, size_t first, size_t end) {
    const double t = morphT;
    const double keep = 1.0 - t;
    if (t >= 0.0 && t <= 1.0) {
        withInstructionSet([&](auto) __attribute__((always_inline)) {
            blendInRange(c.leftWarp, c.rightWarp, c.morphImage, keep, t, first, end);
        });
        return;
    }
    for (size_t i = first; i < end; ++i)
        c.morphImage[i] = lowByteOfTruncation(keep * c.leftWarp[i] + t * c.rightWarp[i]);
}

// The picture's bytes for columns first .. end - 1, once they are warped.
void finishColumns(const Warps& warps, int first, int end) {
    const Composition& c = *warps.composition;
    const size_t rowSamples = static_cast<size_t>(3) * c.grid.width;
    for (int y = 0; y < c.grid.height; ++y) {
        const size_t from = y * rowSamples + first * 3;
        const size_t to = y * rowSamples + end * 3;
        if (warps.count == kPicturesAtOnce)
            blendWarps(c, warps.morphT, from, to);
        else
            copyLowBytes(warps.jobs[0].output, c.morphImage, from, to);
    }
}

// Runs work(first, end) on part p's lines, kMaxLinesAtOnce at a time.
template <typename Work>
void forChunksOfPart(const Warps& warps, std::atomic<int>& next, int lines, int part,
                     const Work& work) {
    if (warps.inChunks) {
        for (;;) {
            const int first = next.fetch_add(kMaxLinesAtOnce, std::memory_order_relaxed);
            if (first >= lines) return;
            work(first, std::min(first + kMaxLinesAtOnce, lines));
        }
    }
    const Span span = partOf(lines, part, warps.parts);
    for (int first = span.first; first < span.end; first += kMaxLinesAtOnce)
        work(first, std::min(first + kMaxLinesAtOnce, span.end));
}

// Each thread takes its part of the rows, and then, once every row is done (the
// column pass reads whole columns of the row pass), its part of the columns, each
// in its own scratch.
void warpPartOfTheRows(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    WarpScratch& scratch = morph.scratch[part];
    scratch.recordedCount = 0;
    forChunksOfPart(warps, warps.nextRows, warps.composition->grid.height, part,
                    [&](int first, int end) {
                        warpRows(warps.jobs, warps.count, scratch, first, end);
                    });
}

// A thread's columns of the middle panel need only its own columns of the warps:
// each chunk of them is finished while the warps' chunk is still in the cache.
void warpPartOfTheColumns(const void* context, int part) {
    const Warps& warps = *static_cast<const Warps*>(context);
    forChunksOfPart(warps, warps.nextColumns, warps.composition->grid.width, part,
                    [&](int first, int end) {
                        warpColumns(warps.jobs, warps.count, morph.scratch[part], first, end);
                        finishColumns(warps, first, end);
                    });
}

void warpInParts(Warps& warps) {
    warps.parts = std::clamp(morph.threads, 1, kMaxEngineThreads);
    if (morph.scratch.size() < static_cast<size_t>(warps.parts)) morph.scratch.resize(warps.parts);
    for (int p = 0; p < warps.parts; ++p) sizeScratch(morph.scratch[p], warps.composition->grid);
    warps.inChunks = true;
    for (int j = 0; j < warps.count; ++j) warps.inChunks &= !warps.jobs[j].record;
    runParts(warpPartOfTheRows, &warps, warps.parts);
    runParts(warpPartOfTheColumns, &warps, warps.parts);
    const WarpScratch* parts[kMaxEngineThreads];
    for (int p = 0; p < warps.parts; ++p) parts[p] = &morph.scratch[p];
    joinRecordedCrossings(parts, warps.parts);
}

// The job of one picture of a composition.
WarpJob jobOf(const Composition& c, int side, int32_t* rowPass) {
    WarpJob job;
    job.grid = c.grid;
    job.input = side == kSideRight ? c.rightImage : c.leftImage;
    job.rowPass = rowPass;
    job.output = side == kSideRight ? c.rightWarp : c.leftWarp;
    job.level = c.level;
    job.how = c.how;
    job.record = c.record;
    setWarpRanges(job, side, c.curveCount);
    return job;
}

}  // namespace

void compose(const Composition& c) {
    Warps warps{{}, 1, c.morphT, &c, 1, false, {0}, {0}};
    switch (c.viewMode) {
        case kViewLeft:
            warps.jobs[0] = jobOf(c, kSideLeft, c.rowPass[0]);
            break;
        case kViewRight:
            warps.jobs[0] = jobOf(c, kSideRight, c.rowPass[0]);
            break;
        case kViewBoth:
            // After a composition of view 3 the overlay shows the right picture's
            // crossings (on the right panel and the morph panel): only the right one
            // records them.
            warps.jobs[0] = jobOf(c, kSideLeft, c.rowPass[0]);
            warps.jobs[0].record = false;
            warps.jobs[1] = jobOf(c, kSideRight, c.rowPass[1]);
            warps.count = kPicturesAtOnce;
            break;
        default:  // nothing to warp: the picture stays as it was
            return;
    }
    warpInParts(warps);
}

// Called by key S while morphing, by every slider drag and by each animation step.
// Reads the intermediate bank as the last display pass built it.
void composeMorph() {
    Composition c;
    c.leftImage = images.leftImage.data();
    c.rightImage = images.rightImage.data();
    c.rowPass[0] = images.morphWork.data();
    c.rowPass[1] = morph.helperRowPass.data();
    c.leftWarp = images.leftWarp.data();
    c.rightWarp = images.rightWarp.data();
    c.morphImage = images.morphImage.data();
    c.viewMode = state.viewMode;
    c.level = state.qualityLevel;
    c.how = state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
    c.morphT = state.morphT;
    c.curveCount = store.curveCount;
    compose(c);
    glBindTexture(GL_TEXTURE_2D, images.morphTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kWorkWidth, kWorkHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 images.morphImage.data());
    glutPostRedisplay();
}

}  // namespace mw
