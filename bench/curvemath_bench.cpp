// Inverting one segment: bisection against the roots of its cubic. The warp makes
// one such search per curve per scan line (more at the curvilinear levels), so
// this is its inner cost.
#include <benchmark/benchmark.h>

#include <array>

#include "curvemath/curvemath.h"

namespace {

// y of a vertical curve segment falling from 420 to 280, searched at every row.
constexpr float kP0 = 480, kP1 = 420, kP2 = 280, kP3 = 230;
constexpr float kFirstRow = 281, kLastRow = 419;

void BM_BisectionRowCrossing(benchmark::State& st) {
    const float tolerance = static_cast<float>(st.range(0)) / 1000.0f;
    float target = kFirstRow;
    for (auto _ : st) {
        benchmark::DoNotOptimize(
            mw::bisectCurveParameter('v', tolerance, 0, 1, target, kP0, kP1, kP2, kP3));
        target = target < kLastRow ? target + 1 : kFirstRow;
    }
}
// Tolerances 1.0 (crossings), 0.1 and 0.001 (curvilinear levels), in thousandths.
BENCHMARK(BM_BisectionRowCrossing)->Arg(1000)->Arg(100)->Arg(1);

void BM_CubicRootsRowCrossing(benchmark::State& st) {
    float target = kFirstRow;
    for (auto _ : st) {
        std::array<float, 3> roots = {-1.0f, -1.0f, -1.0f};
        mw::solveCatmullRomCubic(roots.data(), target, kP0, kP1, kP2, kP3);
        benchmark::DoNotOptimize(roots);
        target = target < kLastRow ? target + 1 : kFirstRow;
    }
}
BENCHMARK(BM_CubicRootsRowCrossing);

void BM_CatmullRomValue(benchmark::State& st) {
    float t = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(mw::catmullRomValue(t, kP0, kP1, kP2, kP3));
        t = t < 1 ? t + 0.01f : 0;
    }
}
BENCHMARK(BM_CatmullRomValue);

}  // namespace
