// compose_bench.cpp -- composeMorph in view 3 on a realistic net, at each quality
// level, with bisection and with polynomial roots.
//
// The net: four vertical curves (drawn downwards, left-most first) and four
// horizontal curves (drawn left to right, bottom-most first) of five points each
// over the left panel, each ended with a right-click, so the open empty curve
// follows them as in ordinary use. The right net is reshaped point by point.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/gl_double.h"

namespace {

using namespace mw;

constexpr int kCurvesPerKind = 4;
constexpr int kPointsPerCurve = 5;

void paintPictures() {
    for (int y = 0; y < kWorkHeight; ++y) {
        for (int x = 0; x < kWorkWidth; ++x) {
            const int i = (y * kWorkWidth + x) * 3;
            images.leftImage[i] = static_cast<uint8_t>(x);
            images.leftImage[i + 1] = static_cast<uint8_t>(y);
            images.leftImage[i + 2] = static_cast<uint8_t>((x ^ y) & 0xff);
            images.rightImage[i] = static_cast<uint8_t>(255 - x);
            images.rightImage[i + 1] = static_cast<uint8_t>((x * y) & 0xff);
            images.rightImage[i + 2] = static_cast<uint8_t>(y / 2);
        }
    }
}

void drawNet() {
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

// Moves the inner points of every right curve, vertical ones sideways and
// horizontal ones up or down, by up to 18 pixels.
void reshapeRightNet() {
    const int n = store.curveCount / 2;
    for (int c = n; c < 2 * n; ++c) {
        const bool vertical = c - n < n / 2;
        for (int j = 1; j + 1 < store.pointCount[c]; ++j) {
            const float shift = static_cast<float>(((c * 7 + j * 5) % 7) * 6 - 18);
            store.controlPoints[slotOf(c, j) + (vertical ? 0 : 1)] += shift;
        }
    }
}

// What the display pass leaves behind: default tangents and phantom points of
// every curve, and the intermediate bank for morphT.
void displayOnce() {
    for (int c = 0; c < store.curveCount; ++c) drawCurve(c, false);
    buildIntermediateCurves();
    for (int c = store.curveCount; c < store.curveCount + store.curveCount / 2; ++c)
        drawCurve(c, true);
}

void setUpMorph(int level, bool bisection) {
    state = ProgramState{};
    store = CurveStore{};
    gldouble::reset();
    gldouble::recording = false;
    paintPictures();
    drawNet();
    reshapeRightNet();
    state.morphT = 0.5f;
    state.morphingStarted = true;
    state.viewMode = kViewBoth;
    state.qualityLevel = level;
    state.useBinarySearch = bisection;
    displayOnce();
}

void composeBench(benchmark::State& bench, int level, bool bisection) {
    setUpMorph(level, bisection);
    for (auto _ : bench) {
        composeMorph();
        benchmark::DoNotOptimize(images.morphImage.data());
    }
    bench.counters["crossings"] = static_cast<double>(morph.intersectionCount / 2);
}

bool registerAll() {
    struct Run {
        int level;
        int iterations;
    };
    for (Run run : {Run{1, 20}, Run{2, 5}, Run{3, 3}}) {
        for (bool bisection : {true, false}) {
            const std::string name = "composeMorph/view3/level" + std::to_string(run.level) +
                                     (bisection ? "/bisection" : "/roots");
            benchmark::RegisterBenchmark(name.c_str(), composeBench, run.level, bisection)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(run.iterations)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        }
    }
    return true;
}

const bool registered = registerAll();

}  // namespace
