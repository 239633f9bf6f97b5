// animation.cpp -- key A's animation: morphT runs from 0.01 to 1 in steps of 0.01,
// one step per display pass, and every step's morph picture is written as
// "IMAGE_SEQUENCE_<n>/img_seq_<morphT>.BMP".
#include <cstdio>

#include "app/state.h"
#include "export/export.h"
#include "morph/morph.h"

namespace mw {

// Formats into sequencePath; false (and a message) if the text did not fit.
template <typename... Args>
static bool formatSequencePath(const char* format, Args... args) {
    const int length =
        std::snprintf(state.sequencePath.data(), state.sequencePath.size(), format, args...);
    if (length >= 0 && static_cast<size_t>(length) < state.sequencePath.size()) return true;
    std::fprintf(stderr, "name too long for the sequence path: %s\n", state.sequencePath.data());
    return false;
}

// Called by the keyboard handler for key A while no animation runs.
void startAnimation() {
    state.imageSequenceNumber += 1;
    state.morphT = 0.0f;
    if (formatSequencePath("IMAGE_SEQUENCE_%d", state.imageSequenceNumber)) {
        // A failed removal leaves the old directory; creation then reuses it or
        // reports why it cannot. Either way the animation runs, and frames that
        // cannot be written are reported one by one.
        removeSequenceDirectory(state.sequencePath.data());
        createSequenceDirectory(state.sequencePath.data());
    }
    state.animationRunning = true;
}

// Called by the display pass while animationRunning is set, before the
// intermediate bank is rebuilt: the composition therefore warps towards the net
// of the previous step. Its redisplay request drives the next step.
void advanceAnimation() {
    // The sum is formed in double and stored as float, so the names run
    // 0.830000, 0.839999, ... 0.999999 before the clamp to exactly 1.
    state.morphT = static_cast<float>(static_cast<double>(state.morphT) + kAnimationStep);
    if (state.morphT >= 1.0) {
        state.morphT = 1.0f;
        state.animationRunning = false;  // this last step still writes its frame
    }
    composeMorph();
    if (!state.exportFrames) return;
    if (!formatSequencePath("IMAGE_SEQUENCE_%d/img_seq_%f.BMP", state.imageSequenceNumber,
                            static_cast<double>(state.morphT)))
        return;
    queueFrame(state.sequencePath.data());
    // The pass that shows the end of the animation comes after every frame is on
    // the disk: the window never says done while a frame is still being written.
    if (!state.animationRunning) finishFrames();
}

}  // namespace mw
