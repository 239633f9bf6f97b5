// morph_nets.h -- nets and pictures shared by the composition benchmarks and the
// engine's digest test: the benchmark net, pictures whose every pixel tells where
// it came from, and what a display pass leaves behind for the engine.
#pragma once

#include <cstdint>

#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace morphnets {

// Every pixel of each picture has its own colour (red names the column, green the
// row modulo 256, the low bit of blue the row's high bit), and the two pictures
// differ everywhere: a pixel taken from another place, or from the other picture,
// changes the result.
inline void paintCodedPictures() {
    using namespace mw;
    for (int y = 0; y < kWorkHeight; ++y) {
        for (int x = 0; x < kWorkWidth; ++x) {
            const int i = (y * kWorkWidth + x) * 3;
            const int high = y >> 8;
            images.leftImage[i] = static_cast<uint8_t>(x);
            images.leftImage[i + 1] = static_cast<uint8_t>(y & 0xff);
            images.leftImage[i + 2] = static_cast<uint8_t>(high | (((x ^ y) & 0x7f) << 1));
            images.rightImage[i] = static_cast<uint8_t>(255 - x);
            images.rightImage[i + 1] = static_cast<uint8_t>((y * 7) & 0xff);
            images.rightImage[i + 2] = static_cast<uint8_t>(high | (((x + 3 * y) & 0x7f) << 1));
        }
    }
}

// The benchmark net: four vertical curves (drawn downwards, left-most first) and
// four horizontal curves (left to right, bottom-most first) of five points each
// over the left panel, each ended as with a right-click, so the open empty curve
// follows them as in ordinary use.
inline void drawBenchmarkNet() {
    using namespace mw;
    constexpr int kCurvesPerKind = 4;
    constexpr int kPointsPerCurve = 5;
    // Slightly uneven spacing, as a hand would click it.
    const int rowsY[kPointsPerCurve] = {506, 402, 297, 199, 94};
    const int colsX[kPointsPerCurve] = {44, 133, 224, 311, 405};
    for (int i = 0; i < kCurvesPerKind; ++i) {
        const int x = 50 + 70 * (i + 1);
        for (int j = 0; j < kPointsPerCurve; ++j)
            appendPointPair(x + ((i + j) % 3) * 4 - 4, rowsY[j]);
        startNextCurve();
    }
    for (int i = 0; i < kCurvesPerKind; ++i) {
        const int y = 100 + 80 * (i + 1);
        for (int j = 0; j < kPointsPerCurve; ++j)
            appendPointPair(colsX[j], y + ((i + 2 * j) % 3) * 3 - 3);
        startNextCurve();
    }
}

// Moves the inner points of every right curve of the benchmark net, vertical ones
// sideways and horizontal ones up or down, by up to 18 pixels.
inline void reshapeBenchmarkRightNet() {
    using namespace mw;
    const int n = store.curveCount / 2;
    for (int c = n; c < 2 * n; ++c) {
        const bool vertical = c - n < n / 2;
        for (int j = 1; j + 1 < store.pointCount[c]; ++j) {
            const float shift = static_cast<float>(((c * 7 + j * 5) % 7) * 6 - 18);
            store.controlPoints[slotOf(c, j) + (vertical ? 0 : 1)] += shift;
        }
    }
}

// What a display pass while morphing leaves for the engine: the default tangents
// and phantom points of every curve, and the intermediate bank for morphT.
inline void settleDisplay() {
    using namespace mw;
    for (int c = 0; c < store.curveCount; ++c) drawCurve(c, false);
    buildIntermediateCurves();
    for (int c = store.curveCount; c < store.curveCount + store.curveCount / 2; ++c)
        drawCurve(c, true);
}

}  // namespace morphnets
