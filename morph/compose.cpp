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

// Left picture: the first quarter of curveCount curves of each bank are vertical.
void warpLeft(int cc) {
    warpImage(kSideLeft, images.leftWarp, 0, cc / 4, cc, cc + cc / 4, cc / 4, cc / 2, cc + cc / 4,
              cc + cc / 2, leftPanel.x1, leftPanel.x2, morphPanel.x1, morphPanel.x2);
}

void warpRight(int cc) {
    warpImage(kSideRight, images.rightWarp, cc / 2, 3 * cc / 4, 2 * (cc / 2), cc / 2 + 3 * cc / 4,
              3 * cc / 4, cc, cc / 2 + 3 * cc / 4, cc / 2 + cc, rightPanel.x1, rightPanel.x2,
              morphPanel.x1, morphPanel.x2);
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
    const int cc = store.curveCount;
    switch (state.viewMode) {
        case kViewLeft:
            warpLeft(cc);
            copyLowBytes(images.leftWarp);
            break;
        case kViewRight:
            warpRight(cc);
            copyLowBytes(images.rightWarp);
            break;
        case kViewBoth:
            warpLeft(cc);
            warpRight(cc);
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
