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
    return true;
}

const bool registered = registerAll();

}  // namespace
