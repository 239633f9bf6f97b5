// warp_bench.cpp -- the pixel mapping alone: both passes of one picture at each
// quality level from fixed crossing lists, without the crossing search, so the cost
// of the levels can be told apart from the cost of finding the crossings.
//
// Every row uses lists of four vertical curves (source a little left of the
// intermediate net), every column lists of four horizontal curves, as a reshaped
// four-by-four net gives them.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "app/state.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace {

using namespace mw;

constexpr float kRowSource[] = {50, 120, 187, 262, 331, 400, 400};
constexpr float kRowMorph[] = {450, 523, 584, 668, 729, 800, 800};
constexpr float kColumnSource[] = {100, 176, 262, 338, 421, 500, 500};
constexpr float kColumnMorph[] = {100, 183, 255, 347, 412, 500, 500};
constexpr int kN = 6;  // four curves + 2

void setLists(const float* source, const float* target) {
    for (int j = 0; j <= kN; ++j) {
        morph.scratch[0].lists[0].sourceCrossings[j] = source[j];
        morph.scratch[0].lists[0].morphCrossings[j] = target[j];
    }
}

void mapPicture(int level, Inversion how) {
    WarpScratch& scratch = morph.scratch[0];
    setLists(kRowSource, kRowMorph);
    for (int r = 0; r < kWorkHeight; ++r) {
        if (level == kQualityLinear)
            mapRowLinear(scratch.lists[0], images.leftImage, images.morphWork, r, kN, 50, 450);
        else
            mapRowCurvilinear(scratch, images.leftImage, images.morphWork, r, kN, level, how, 50,
                              450);
    }
    setLists(kColumnSource, kColumnMorph);
    for (int c = 0; c < kWorkWidth; ++c) {
        if (level == kQualityLinear)
            mapColumnLinear(scratch.lists[0], images.morphWork, images.leftWarp, c, kN);
        else
            mapColumnCurvilinear(scratch, images.morphWork, images.leftWarp, c, kN, level, how);
    }
}

void BM_MapPicture(benchmark::State& st) {
    const int level = static_cast<int>(st.range(0));
    state = ProgramState{};
    state.useBinarySearch = st.range(1) != 0;
    for (int i = 0; i < kWorkBytes; ++i) images.leftImage[i] = static_cast<uint8_t>(i * 13);
    for (auto _ : st) {
        mapPicture(level, state.useBinarySearch ? Inversion::Bisection : Inversion::Roots);
        benchmark::DoNotOptimize(images.leftWarp.data());
        benchmark::ClobberMemory();
    }
    st.SetLabel(std::string("level ") + std::to_string(level) +
                (state.useBinarySearch ? " bisection" : " roots"));
}

BENCHMARK(BM_MapPicture)
    ->ArgsProduct({{1, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->ReportAggregatesOnly(true);

}  // namespace
