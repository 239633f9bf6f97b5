// compose_bench.cpp -- composeMorph in view 3 on a realistic net, at each quality
// level, with bisection and with polynomial roots.
//
// The net (tests/support/morph_nets.h): four vertical and four horizontal curves of
// five points each over the left panel, the open empty curve after them as in
// ordinary use, and the right net reshaped point by point.
//
// Repetitions and run times come from the command line (--benchmark_repetitions,
// --benchmark_min_time); with repetitions only their aggregates are reported.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/gl_double.h"
#include "tests/support/morph_nets.h"

namespace {

using namespace mw;

void setUpMorph(int level, bool bisection) {
    state = ProgramState{};
    store = CurveStore{};
    gldouble::reset();
    gldouble::recording = false;
    morphnets::paintCodedPictures();
    morphnets::drawBenchmarkNet();
    morphnets::reshapeBenchmarkRightNet();
    state.morphT = 0.5f;
    state.morphingStarted = true;
    state.viewMode = kViewBoth;
    state.qualityLevel = level;
    state.useBinarySearch = bisection;
    morphnets::settleDisplay();
}

void composeBench(benchmark::State& bench, int level, bool bisection) {
    setUpMorph(level, bisection);
    for (auto _ : bench) {
        composeMorph();
        benchmark::DoNotOptimize(images.morphImage.data());
    }
    bench.counters["crossings"] = static_cast<double>(morph.intersectionCount / 2);
}

// A composition on a grid of the renderer's size, with pictures coded like the
// workstation's, on `threads` threads.
struct GridBuffers {
    std::vector<uint8_t> left, right, morphImage;
    std::vector<int32_t> rowPass0, rowPass1, leftWarp, rightWarp;
};

void gridBench(benchmark::State& bench, WarpGrid grid, int level, bool bisection, int threads) {
    setUpMorph(level, bisection);
    const size_t samples = static_cast<size_t>(grid.width) * grid.height * 3;
    GridBuffers b{std::vector<uint8_t>(samples),     std::vector<uint8_t>(samples),
                  std::vector<uint8_t>(samples),     std::vector<int32_t>(samples),
                  std::vector<int32_t>(samples),     std::vector<int32_t>(samples),
                  std::vector<int32_t>(samples)};
    for (size_t i = 0; i < samples; ++i) {
        b.left[i] = static_cast<uint8_t>(i * 7 + i / 4099);
        b.right[i] = static_cast<uint8_t>(255 - i * 3 - i / 1531);
    }
    Composition c;
    c.grid = grid;
    c.leftImage = b.left.data();
    c.rightImage = b.right.data();
    c.rowPass[0] = b.rowPass0.data();
    c.rowPass[1] = b.rowPass1.data();
    c.leftWarp = b.leftWarp.data();
    c.rightWarp = b.rightWarp.data();
    c.morphImage = b.morphImage.data();
    c.viewMode = kViewBoth;
    c.level = level;
    c.how = bisection ? Inversion::Bisection : Inversion::Roots;
    c.morphT = 0.5f;
    c.curveCount = store.curveCount;
    c.record = false;
    morph.threads = threads;
    for (auto _ : bench) {
        compose(c);
        benchmark::DoNotOptimize(b.morphImage.data());
    }
    morph.threads = kWorkstationThreads;
}

bool registerAll() {
    for (int level : {kQualityLinear, kQualitySimple, kQualityPrecise}) {
        for (bool bisection : {true, false}) {
            const std::string name = "composeMorph/view3/level" + std::to_string(level) +
                                     (bisection ? "/bisection" : "/roots");
            benchmark::RegisterBenchmark(name.c_str(), composeBench, level, bisection)
                ->Unit(benchmark::kMillisecond)
                ->ReportAggregatesOnly(true);
        }
    }
    for (int level : {kQualityLinear, kQualitySimple, kQualityPrecise}) {
        for (bool bisection : {true, false}) {
            for (int threads : {2, 1}) {
                const std::string name = "compose/1920x1080/view3/level" + std::to_string(level) +
                                         (bisection ? "/bisection" : "/roots") + "/threads:" +
                                         std::to_string(threads);
                benchmark::RegisterBenchmark(name.c_str(), gridBench, WarpGrid{1920, 1080}, level,
                                             bisection, threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->ReportAggregatesOnly(true);
            }
        }
    }
    return true;
}

const bool registered = registerAll();

}  // namespace
