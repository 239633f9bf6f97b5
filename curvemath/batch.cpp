// batch.cpp -- many segment inversions at once. Each search is a chain of dependent
// arithmetic (a bisection step waits for the previous one, a Bairstow step too), so
// one search at a time leaves the processor idle most of the time. Here
// kVectors * kWidth searches advance side by side in the lanes of vector registers;
// when those of a vector have ended, the next searches take it. Every step in a
// lane does the same operations in the same order as segmentParameter, so every
// result is the same float. The kernels (lanes.inc) are built twice: for SSE2,
// which every x86-64 processor has, and for AVX2, used where the processor has it.

// The step templates of steps.h are always inlined into the kernels, so no vector
// crosses a call: the note the compiler gives about 32-byte vectors in templates
// built for SSE2 (the AVX2 kernels instantiate them) does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>

#include "curvemath/curvemath.h"
#include "curvemath/steps.h"

namespace mw {

namespace {

// The kernels for every x86-64 processor: SSE2, two doubles per vector.
namespace sse2 {

using Doubles = double __attribute__((vector_size(16)));
using Floats = float __attribute__((vector_size(8)));
constexpr int kWidth = 2;
int laneSigns(__m128d v) {
    return _mm_movemask_pd(v);
}

#include "curvemath/lanes.inc"

}  // namespace sse2

}  // namespace

// The same kernels with AVX2: four doubles per vector, chosen at run time where the
// processor has it. Only the functions below get the wider instructions; the
// build as a whole runs on any x86-64.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

namespace avx2 {

using Doubles = double __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));
constexpr int kWidth = 4;
int laneSigns(__m256d v) {
    return _mm256_movemask_pd(v);
}

#include "curvemath/lanes.inc"

}  // namespace avx2

}  // namespace

#pragma GCC pop_options

namespace {

std::atomic<bool> wideLanesAllowed{true};

bool processorHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

}  // namespace

void allowWideLanes(bool allowed) {
    wideLanesAllowed.store(allowed);
}

bool wideLanesInUse() {
    return wideLanesAllowed.load() && processorHasAvx2();
}

void segmentParameters(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       SegmentBatch& batch, int segmentCount, const SegmentSearch* searches,
                       int count, float* parameters) {
    if (wideLanesInUse())
        avx2::runSearches(how, mode, tolerance, rule, batch, segmentCount, searches, count,
                          parameters);
    else
        sse2::runSearches(how, mode, tolerance, rule, batch, segmentCount, searches, count,
                          parameters);
}

}  // namespace mw
