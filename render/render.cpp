// render.cpp -- the headless renderer: reads a net file and its two pictures at
// their own size, and composes the morph frame by frame on a grid of the frame's
// size, as the window's middle panel composes it on its 256 x 293 grid.
#include "render/render.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace mw {

namespace {

using Clock = std::chrono::steady_clock;

// A picture file decoded at its own size; one line on stderr when it cannot be.
bool loadFullPicture(const std::string& path, DecodedPicture& picture) {
    std::vector<uint8_t> bytes;
    std::string reason = readPictureFile(path.c_str(), bytes);
    if (reason.empty()) reason = decodeFullPicture(bytes.data(), bytes.size(), picture);
    if (reason.empty()) return true;
    std::fprintf(stderr, "cannot load picture %s: %s\n", path.c_str(), reason.c_str());
    return false;
}

bool transposed(const DecodedPicture& picture) {
    return picture.orientation >= 5 && picture.orientation <= 8;
}

// The pictures and buffers of one render, all on the frame's grid.
struct RenderBuffers {
    std::vector<uint8_t> left, right, morphImage;
    std::vector<int32_t> rowPass[2], leftWarp, rightWarp;
};

std::string clockText(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

// One line on a terminal, rewritten in place: frames done of all, time taken, time
// left at the pace so far.
void showProgress(int done, int total, Clock::time_point start) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double left = done > 0 ? elapsed / done * (total - done) : 0.0;
    std::fprintf(stderr, "\r%d of %d frames   %s taken   %s left  ", done, total,
                 clockText(elapsed).c_str(), clockText(left).c_str());
    std::fflush(stderr);
}

// What a display pass leaves in the store for morphT: the intermediate bank and
// the trailing phantom points that drawing it stores.
void settleIntermediateNet(float morphT) {
    state.morphT = morphT;
    buildIntermediateCurves();
    for (int c = store.curveCount; c < store.curveCount + store.curveCount / 2; ++c)
        deriveCurve(c, true);
}

int render(const RenderOptions& options) {
    if (!outputUsable(options)) return 1;
    NetFile net;
    const std::string reason = readNetFile(options.netPath.c_str(), net);
    if (!reason.empty()) {
        std::fprintf(stderr, "cannot use net file %s: %s\n", options.netPath.c_str(),
                     reason.c_str());
        return 1;
    }
    DecodedPicture leftPicture, rightPicture;
    if (!loadFullPicture(net.left.path, leftPicture) ||
        !loadFullPicture(net.right.path, rightPicture))
        return 1;
    WarpGrid grid{options.width, options.height};
    if (grid.width <= 0 || grid.height <= 0) {
        grid.width = transposed(leftPicture) ? leftPicture.height : leftPicture.width;
        grid.height = transposed(leftPicture) ? leftPicture.width : leftPicture.height;
    }

    const size_t samples = static_cast<size_t>(grid.width) * grid.height * 3;
    const bool both = options.view == kViewBoth;
    RenderBuffers b;
    b.left.resize(samples);
    b.right.resize(samples);
    b.morphImage.resize(samples);
    b.rowPass[0].resize(samples);
    if (both) b.rowPass[1].resize(samples);
    if (options.view != kViewRight) b.leftWarp.resize(samples);
    if (options.view != kViewLeft) b.rightWarp.resize(samples);
    for (auto [picture, out] :
         {std::pair{&leftPicture, &b.left}, std::pair{&rightPicture, &b.right}}) {
        resamplePictureTo(picture->pixels.get(), picture->width, picture->height,
                          picture->orientation, out->data(), grid.width, grid.height);
        picture->pixels.reset();
    }

    FrameSink* sink = openFrameSink(options, grid.width, grid.height);
    if (sink == nullptr) return 1;

    putNetIntoStore(net);
    for (int c = 0; c < store.curveCount; ++c) deriveCurve(c, false);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    morph.threads = std::clamp(options.threads > 0 ? options.threads : cores, 1, kMaxEngineThreads);

    Composition c;
    c.grid = grid;
    c.leftImage = b.left.data();
    c.rightImage = b.right.data();
    c.rowPass[0] = b.rowPass[0].data();
    c.rowPass[1] = b.rowPass[1].data();
    c.leftWarp = b.leftWarp.data();
    c.rightWarp = b.rightWarp.data();
    c.morphImage = b.morphImage.data();
    c.viewMode = options.view;
    c.level = options.quality;
    c.how = options.roots ? Inversion::Roots : Inversion::Bisection;
    c.curveCount = store.curveCount;
    c.record = false;

    const bool terminal = isatty(STDERR_FILENO) != 0;
    const Clock::time_point start = Clock::now();
    const size_t rowBytes = static_cast<size_t>(grid.width) * 3;
    const float last = static_cast<float>(options.frames - 1);
    bool ok = true;
    for (int i = 0; i < options.frames && ok; ++i) {
        c.morphT = static_cast<float>(i) / last;
        settleIntermediateNet(c.morphT);
        compose(c);
        ok = frameDone(*sink);  // frames 0 .. i - 1 are written
        if (!ok) break;
        if (terminal) showProgress(i, options.frames, start);
        // The frame's rows top first: the grid's are bottom-up.
        uint8_t* pixels = framePixels(*sink);
        for (int y = 0; y < grid.height; ++y)
            std::copy_n(b.morphImage.data() + (grid.height - 1 - y) * rowBytes, rowBytes,
                        pixels + y * rowBytes);
        handFrame(*sink, i);
    }
    ok = frameDone(*sink) && ok;
    if (terminal && ok) showProgress(options.frames, options.frames, start);
    if (terminal) std::fputc('\n', stderr);
    return closeFrameSink(sink, ok) && ok ? 0 : 1;
}

}  // namespace

int runRender(const RenderOptions& options) {
    // A video's ffmpeg may stop reading: the write then fails with EPIPE and the
    // reason comes from ffmpeg, instead of the signal ending the render.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return render(options);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "cannot render %s: out of memory\n", options.netPath.c_str());
        return 1;
    }
}

}  // namespace mw
