// batch.cpp -- many segment inversions at once. Each search is a chain of dependent
// arithmetic (a bisection step waits for the previous one, a Bairstow step too), so
// one search at a time leaves the processor idle most of the time. Here
// kVectors * kWidth searches advance side by side in the lanes of vector registers;
// when those of a vector have ended, the next searches take it. Every step in a
// lane is a step of steps.h, as the search one at a time takes it, so every result
// is the same float. The kernels are built for SSE2 and for AVX2
// (instruction_set.h); everything below that works on vectors is always inlined.

// A function that returns a vector of four doubles draws the compiler's warning that
// such values are returned differently with AVX, when it is built for SSE2. No such
// function is ever called: every one is inlined into the build for its own
// instruction set (instruction_set.h).
#pragma GCC diagnostic ignored "-Wpsabi"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <utility>

#include "curvemath/curvemath.h"
#include "curvemath/instruction_set.h"
#include "curvemath/steps.h"

namespace mw {

namespace {

// The type the AVX-512 builtins take a vector of integers as, the rounding they take
// to mean the current one, and the predicates of their comparisons that compare as
// C's operators do.
using LongLongs = long long __attribute__((vector_size(64)));
constexpr int kCurrentRounding = 4;
constexpr int kEqual = 0, kLess = 1, kLessEqual = 2, kNotEqual = 4, kGreater = 14;

// The operations of steps.h on the vectors of one instruction set. With SSE2 and
// AVX2 a comparison gives a vector with every bit of a lane set or clear, and that
// vector type is their mask (taking any other integer vector type instead makes the
// compiler convert lane by lane). With AVX-512 it gives a mask register, a bit per
// lane, kept as an integer: GCC 12 expands a comparison of eight doubles written as
// an operator lane by lane when its result is kept in a variable.
template <typename Isa>
struct VectorOps {
    static constexpr bool kMaskRegister = std::is_same_v<Isa, Avx512>;
    using Value = typename Isa::Doubles;
    using Floats = typename Isa::Floats;
    using Bits = decltype(Value{} < Value{});
    using Mask = std::conditional_t<kMaskRegister, unsigned char, Bits>;
    // Floats widened to doubles, exactly.
    [[gnu::always_inline]] static Value widen(const Floats& x) {
        // GCC 12 widens a vector of four or eight floats with __builtin_convertvector
        // in two halves; the instruction that widens them at once gives the same
        // exact doubles. (Each builtin is expanded only in its own build.)
        if constexpr (kMaskRegister)
            return __builtin_ia32_cvtps2pd512_mask(x, Value{}, 0xFF, kCurrentRounding);
        else if constexpr (std::is_same_v<Isa, Avx2>)
            return __builtin_ia32_cvtps2pd256(x);
        else
            return __builtin_convertvector(x, Value);
    }
    [[gnu::always_inline]] static Floats rounded(const Value& x) {
        return __builtin_convertvector(x, Floats);
    }
    [[gnu::always_inline]] static Value roundToFloat(const Value& x) { return widen(rounded(x)); }

    template <int predicate>
    [[gnu::always_inline]] static Mask compare(const Value& a, const Value& b) {
        if constexpr (kMaskRegister) {
            return __builtin_ia32_cmppd512_mask(a, b, predicate, 0xFF, kCurrentRounding);
        } else {
            if constexpr (predicate == kEqual) return a == b;
            if constexpr (predicate == kLess) return a < b;
            if constexpr (predicate == kLessEqual) return a <= b;
            if constexpr (predicate == kNotEqual) return a != b;
            if constexpr (predicate == kGreater) return a > b;
        }
    }
    [[gnu::always_inline]] static Mask less(const Value& a, const Value& b) {
        return compare<kLess>(a, b);
    }
    [[gnu::always_inline]] static Mask lessEqual(const Value& a, const Value& b) {
        return compare<kLessEqual>(a, b);
    }
    [[gnu::always_inline]] static Mask greater(const Value& a, const Value& b) {
        return compare<kGreater>(a, b);
    }
    [[gnu::always_inline]] static Mask equal(const Value& a, const Value& b) {
        return compare<kEqual>(a, b);
    }
    [[gnu::always_inline]] static Mask notEqual(const Value& a, const Value& b) {
        return compare<kNotEqual>(a, b);
    }

    // A mask must come from comparisons (and their &, |, ~) made in the same step:
    // a vector mask kept in memory between steps is not known to be all-ones or
    // all-zeros per lane, and the compiler then chooses lane by lane. So flags that
    // live across steps are kept as doubles (1 set, 0 clear).
    [[gnu::always_inline]] static Value select(const Mask& m, const Value& a, const Value& b) {
        // With AVX2 the lanes' sign bits choose (vblendvpd): a mask from comparisons has
        // every bit of a lane set or clear, so they choose as m ? a : b does, where
        // GCC 12 may first compare the mask with zero when it was combined with &.
        if constexpr (kMaskRegister)
            return __builtin_ia32_blendmpd_512_mask(b, a, m);
        else if constexpr (std::is_same_v<Isa, Avx2>)
            return __builtin_ia32_blendvpd256(b, a, reinterpret_cast<Value>(m));
        else
            return m ? a : b;
    }
    // -1 in the lanes where m is set, else +0.
    [[gnu::always_inline]] static Value minusOneWhere(const Mask& m) {
        if constexpr (kMaskRegister)
            return select(m, Value{} - 1.0, Value{});
        else  // the bits of -1 kept where m is set
            return reinterpret_cast<Value>(m & reinterpret_cast<Mask>(Value{} - 1.0));
    }
    // A mask kept from one step to the next: a mask register as it is; a vector mask
    // as doubles, -1 where set and +0 elsewhere, whose sign bits give it back.
    using Kept = std::conditional_t<kMaskRegister, Mask, Value>;
    [[gnu::always_inline]] static Kept keep(const Mask& m) {
        if constexpr (kMaskRegister)
            return m;
        else
            return minusOneWhere(m);
    }
    [[gnu::always_inline]] static Mask kept(const Kept& k) {
        if constexpr (kMaskRegister)
            return k;
        else
            return less(k, Value{});
    }
    [[gnu::always_inline]] static bool noneKept(const Kept& k) {
        if constexpr (kMaskRegister)
            return k == 0;
        else
            return noneNegative(k);
    }
    [[gnu::always_inline]] static Value magnitude(const Value& x) {
        return reinterpret_cast<Value>(reinterpret_cast<Bits>(x) & (Bits{} + INT64_MAX));
    }
    // Whether no lane has its sign bit set.
    [[gnu::always_inline]] static bool noneNegative(const Value& x) {
        if constexpr (kMaskRegister)
            return __builtin_ia32_cvtq2mask512(reinterpret_cast<LongLongs>(x)) == 0;
        else if constexpr (std::is_same_v<Isa, Avx2>)
            return __builtin_ia32_movmskpd256(x) == 0;
        else
            return __builtin_ia32_movmskpd(x) == 0;
    }
    // Whether any lane is set: the lanes folded together with |.
    [[gnu::always_inline]] static bool anySet(const Mask& m) {
        if constexpr (kMaskRegister) {
            return m != 0;
        } else if constexpr (std::is_same_v<Isa, Avx2>) {
            const Mask half = m | __builtin_shufflevector(m, m, 2, 3, 0, 1);
            return (half | __builtin_shufflevector(half, half, 1, 0, 3, 2))[0] != 0;
        } else {
            static_assert(Isa::kWidth == 2);
            return (m | __builtin_shufflevector(m, m, 1, 0))[0] != 0;
        }
    }
};

constexpr int kVectors = 4;  // independent vectors in flight
constexpr int kIdle = -1;

// The vector of one value per lane. Vectors are written whole: a lane written alone
// and then read back as part of its vector stalls the read.
template <typename Doubles, int kWidth>
[[gnu::always_inline]] inline Doubles vectorOf(const double (&values)[kWidth]) {
    Doubles v{};
    for (int w = 0; w < kWidth; ++w) v[w] = values[w];
    return v;
}

bool finite(const CatmullRomCoefficients& c, float target) {
    return std::isfinite(c.c0) && std::isfinite(c.c1) && std::isfinite(c.c2) &&
           std::isfinite(c.c3) && std::isfinite(target);
}

// What the bisection's lanes need of one segment, formed once per call: its
// coefficients as doubles, and its reach (segmentReach) for the call's tolerance.
struct alignas(32) LaneSegment {
    double c[4];
    SegmentReach reach;
};

// The bisection of bisectSegment over [0, 1], one search per lane. The direction is
// a template argument: a mask chosen at run time between two comparisons is no
// longer known to be a comparison (see VectorOps::select).
template <typename Isa, bool falling>
struct BisectionLanes {
    using Ops = VectorOps<Isa>;
    using Doubles = typename Isa::Doubles;
    using Masks = typename Ops::Mask;
    static constexpr int kWidth = Isa::kWidth;
    // The segment an idle lane runs on: the constant 0, with target 0 on the closed
    // interval [0, 0], ended before it starts.
    static constexpr int kIdleSegment = kBatchSegments;

    const SegmentBatch* batch;
    float tolerance;
    Doubles low[kVectors], high[kVectors], target[kVectors];
    Doubles c0[kVectors], c1[kVectors], c2[kVectors], c3[kVectors];
    Doubles result[kVectors];  // the midpoint that hit, or -1 where a search ended without
    typename Ops::Kept running[kVectors];  // the lanes whose search has not ended
    LaneSegment segment[kBatchSegments + 1];

    // The segments the searches use, and the idle lanes' one.
    void setUp(const SegmentSearch* searches, int count) {
        int last = -1;
        for (int j = 0; j < count; ++j) last = std::max(last, searches[j].segment);
        for (int k = 0; k <= last; ++k) {
            const CatmullRomCoefficients& c = batch->segments[k];
            segment[k] = {{c.c0, c.c1, c.c2, c.c3}, segmentReach(c, tolerance)};
        }
        segment[kIdleSegment] = {{0.0, 0.0, 0.0, 0.0}, {}};
    }

    // Whether search s needs a lane; one that is out of reach does not (its parameter
    // is -1).
    [[gnu::always_inline]] bool admit(const SegmentSearch& s, float& parameter) const {
        parameter = -1.0f;
        return !outOfReach(segment[s.segment].reach, s.target);
    }

    // Vector v takes the searches job[w] (kIdle: none) over [0, 1].
    [[gnu::always_inline]] void load(int v, const int (&job)[kWidth],
                                     const SegmentSearch* searches) {
        const double* c[kWidth];
        Doubles aim{}, on{};
        static constexpr SegmentSearch kNoSearch{kIdleSegment, 0.0f};
        for (int w = 0; w < kWidth; ++w) {
            const bool idle = job[w] == kIdle;
            const SegmentSearch& s = idle ? kNoSearch : searches[job[w]];
            c[w] = segment[s.segment].c;
            aim[w] = s.target;
            on[w] = idle ? 0.0 : -1.0;
        }
        Doubles k0, k1, k2, k3;
        for (int w = 0; w < kWidth; ++w) {
            k0[w] = c[w][0];
            k1[w] = c[w][1];
            k2[w] = c[w][2];
            k3[w] = c[w][3];
        }
        low[v] = Doubles{};
        high[v] = Doubles{} - on;
        target[v] = aim;
        running[v] = Ops::keep(Ops::less(on, Doubles{}));
        result[v] = Doubles{} - 1.0;
        c0[v] = k0;
        c1[v] = k1;
        c2[v] = k2;
        c3[v] = k3;
    }

    // One step of every running search of vector v (steps::bisect, lane by lane); a
    // search that ends keeps its interval and result from then on.
    [[gnu::always_inline]] void step(int v) {
        const Masks on = Ops::kept(running[v]);
        const Doubles lo = low[v], hi = high[v], aim = target[v];
        const Doubles tol = Doubles{} + static_cast<double>(tolerance);
        const typename Ops::Floats t = steps::midpoint<Ops>(lo, hi);
        const Doubles mid = Ops::widen(t);
        const Doubles value = steps::segmentValue<Ops>(c0[v], c1[v], c2[v], c3[v], t);
        const Masks hit = steps::withinTolerance<Ops>(value, tol, aim);
        Doubles newLow = lo, newHigh = hi;
        const Masks goesOn =
            steps::narrow<Ops, falling>(mid, value, aim, on & ~hit, newLow, newHigh);
        low[v] = newLow;
        high[v] = newHigh;
        result[v] = Ops::select(hit & on, mid, result[v]);
        running[v] = Ops::keep(goesOn);
    }

    [[gnu::always_inline]] bool ended(int v) const { return Ops::noneKept(running[v]); }
    [[gnu::always_inline]] float finish(int v, int w, const SegmentSearch&) const {
        return static_cast<float>(result[v][w]);
    }
};

// solveCatmullRomSegment and acceptedRoot, one cubic per lane. Segments the lanes
// do not take (no cubic term, or values that are not finite) are solved one at a
// time, as segmentParameter does it.
template <typename Isa>
struct RootLanes {
    using Ops = VectorOps<Isa>;
    using Doubles = typename Isa::Doubles;
    using Masks = typename Ops::Mask;
    static constexpr int kWidth = Isa::kWidth;

    const SegmentBatch* batch;
    StartOnTarget rule;
    Doubles a1[kVectors], a2[kVectors], a3[kVectors], r[kVectors], s[kVectors];
    Doubles r1[kVectors], s1[kVectors], r2[kVectors], s2[kVectors];  // one and two steps back
    Doubles stepsTaken[kVectors];
    Doubles converged[kVectors];  // 1 or 0, as running
    Doubles running[kVectors];

    void setUp(const SegmentSearch*, int) {}

    // Segments the lanes do not take are solved here, one at a time.
    [[gnu::always_inline]] bool admit(const SegmentSearch& search, float& parameter) const {
        const CatmullRomCoefficients& c = batch->segments[search.segment];
        if (c.c3 == 0.0f || !finite(c, search.target)) {
            parameter = segmentParameter(Inversion::Roots, 'n', 0.0f, rule, c, search.target);
            return false;
        }
        return true;
    }

    // Vector v takes the cubics of searches job[w], normalised to leading coefficient
    // 1 as findQuadraticFactors does; a lane without one (kIdle) takes x^3 with the
    // factor x^2, a zero correction at once.
    [[gnu::always_inline]] void load(int v, const int (&job)[kWidth],
                                     const SegmentSearch* searches) {
        double na1[kWidth], na2[kWidth], na3[kWidth], on[kWidth];
        for (int w = 0; w < kWidth; ++w) {
            na1[w] = na2[w] = na3[w] = on[w] = 0.0;
            if (job[w] == kIdle) continue;
            const SegmentSearch& search = searches[job[w]];
            const CatmullRomCoefficients& c = batch->segments[search.segment];
            const double lead = c.c3;
            na1[w] = c.c2 / lead;
            na2[w] = c.c1 / lead;
            na3[w] = (static_cast<double>(c.c0) - search.target) / lead;
            on[w] = 1.0;
        }
        a1[v] = vectorOf<Doubles, kWidth>(na1);
        a2[v] = vectorOf<Doubles, kWidth>(na2);
        a3[v] = vectorOf<Doubles, kWidth>(na3);
        running[v] = vectorOf<Doubles, kWidth>(on);
        const Masks loaded = Ops::greater(running[v], Doubles{});
        r[v] = Ops::select(loaded, Doubles{} + steps::kCubicTrialR, Doubles{});
        s[v] = Ops::select(loaded, Doubles{} + steps::kCubicTrialS, Doubles{});
        r1[v] = s1[v] = r2[v] = s2[v] = Doubles{} + std::numeric_limits<double>::quiet_NaN();
        stepsTaken[v] = Doubles{};
        converged[v] = Doubles{};
    }

    // One step of every running cubic of vector v. A lane takes the steps of the first
    // tolerance, and hands its cubic to the iteration one at a time (finish) if it
    // has not converged by then or its factor comes back to one it had one or two
    // steps before: the iteration one at a time skips such cycles. (A factor counts
    // as repeated only when equal and not zero: equal doubles other than zeros have
    // the same bits.)
    [[gnu::always_inline]] void step(int v) {
        const Masks on = Ops::greater(running[v], Doubles{});
        const Doubles rv = r[v], sv = s[v];
        const Masks repeated = ((Ops::equal(rv, r1[v]) & Ops::equal(sv, s1[v])) |
                                (Ops::equal(rv, r2[v]) & Ops::equal(sv, s2[v]))) &
                               Ops::notEqual(rv, Doubles{}) & Ops::notEqual(sv, Doubles{});
        const Masks stepping = on & ~repeated;
        Doubles dr, ds;
        steps::bairstowCubicStep<Ops>(a1[v], a2[v], a3[v], rv, sv, dr, ds);
        r2[v] = r1[v];
        s2[v] = s1[v];
        r1[v] = rv;
        s1[v] = sv;
        r[v] = Ops::select(stepping, rv + dr, rv);
        s[v] = Ops::select(stepping, sv + ds, sv);
        const Doubles taken = stepsTaken[v] + 1.0;
        stepsTaken[v] = Ops::select(stepping, taken, stepsTaken[v]);
        const Doubles eps = Doubles{} + steps::toleranceOfStep(1);
        const Masks done = steps::correctionEnds<Ops>(dr, ds, eps);
        converged[v] = Ops::select(stepping & done, Doubles{} + 1.0, converged[v]);
        const Masks more =
            Ops::less(taken, Doubles{} + static_cast<double>(steps::kStepsAtStartTolerance));
        running[v] = Ops::select(stepping & ~done & more, Doubles{} + 1.0, Doubles{});
    }

    [[gnu::always_inline]] bool ended(int v) const {
        return !Ops::anySet(Ops::greater(running[v], Doubles{}));
    }

    [[gnu::always_inline]] float finish(int v, int w, const SegmentSearch& search) const {
        const double a1w = a1[v][w];
        double factorR = r[v][w], factorS = s[v][w];
        if (converged[v][w] == 0.0) {
            const int next = static_cast<int>(stepsTaken[v][w]) + 1;
            steps::refineCubicFactor(a1w, a2[v][w], a3[v][w], factorR, factorS, next);
        }
        float roots[3] = {-1.0f, -1.0f, -1.0f};
        steps::cubicRootSlots(roots, a1w, factorR, factorS);
        return acceptedRoot(roots, batch->segments[search.segment].c0, search.target, rule);
    }
};

// Runs every search through the lanes: a vector takes the next searches once all of
// its lanes have ended (one test of the lanes per vector and step), so its lanes
// are always written whole. The searches that need a lane are listed a part at a
// time, without a branch per search.
template <typename Lanes>
[[gnu::always_inline]] inline void runLanes(Lanes& lanes, const SegmentSearch* searches, int count,
                                            float* parameters) {
    constexpr int kWidth = Lanes::kWidth;
    constexpr int kPart = 512;
    lanes.setUp(searches, count);
    int listed[kPart];
    int first = 0;  // the first search not yet listed
    int taken = 0, inList = 0;
    // The next search that needs a lane, or kIdle when none is left.
    const auto nextJob = [&]() __attribute__((always_inline)) {
        while (taken == inList) {
            if (first == count) return kIdle;
            const int end = std::min(count, first + kPart);
            inList = taken = 0;
            for (int j = first; j < end; ++j) {
                listed[inList] = j;
                inList += lanes.admit(searches[j], parameters[j]);
            }
            first = end;
        }
        return listed[taken++];
    };
    int job[kVectors][kWidth];
    // Loads the next searches into vector v; false if none is left.
    const auto load = [&](int v) __attribute__((always_inline)) {
        for (int w = 0; w < kWidth; ++w) job[v][w] = nextJob();
        lanes.load(v, job[v], searches);
        return job[v][0] != kIdle;
    };
    bool busy[kVectors];
    int live = 0;  // vectors with a search in some lane
    for (int v = 0; v < kVectors; ++v) live += busy[v] = load(v);
    const auto advance = [&](int v) __attribute__((always_inline)) {
        lanes.step(v);
        if (!lanes.ended(v) || !busy[v]) return;
        for (int w = 0; w < kWidth; ++w) {
            const int j = job[v][w];
            if (j != kIdle) parameters[j] = lanes.finish(v, w, searches[j]);
        }
        busy[v] = load(v);
        live += busy[v] ? 0 : -1;
    };
    // The vectors in turn, written out: each one's state at a fixed place.
    const auto round = [&]<int... v>(std::integer_sequence<int, v...>)
        __attribute__((always_inline)) {
        (advance(v), ...);
    };
    while (live > 0) round(std::make_integer_sequence<int, kVectors>{});
}

template <typename Isa>
[[gnu::always_inline]] inline void runSearches(Inversion how, char mode, float tolerance,
                                               StartOnTarget rule, const SegmentBatch& batch,
                                               const SegmentSearch* searches, int count,
                                               float* parameters) {
    if (how == Inversion::Roots) {
        RootLanes<Isa> lanes{};
        lanes.batch = &batch;
        lanes.rule = rule;
        runLanes(lanes, searches, count, parameters);
        return;
    }
    if (mode == 'v') {
        BisectionLanes<Isa, true> lanes;  // every vector is loaded before its first step
        lanes.batch = &batch;
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    } else {
        BisectionLanes<Isa, false> lanes;
        lanes.batch = &batch;
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    }
}

std::atomic<InstructionSet> widestAllowed{InstructionSet::Avx512};

InstructionSet widestOfProcessor() {
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq"))
        return InstructionSet::Avx512;
    return __builtin_cpu_supports("avx2") ? InstructionSet::Avx2 : InstructionSet::Sse2;
}

}  // namespace

void limitInstructionSet(InstructionSet widest) {
    widestAllowed.store(widest);
}

InstructionSet instructionSetInUse() {
    static const InstructionSet processor = widestOfProcessor();
    return std::min(processor, widestAllowed.load());
}

const char* instructionSetName(InstructionSet set) {
    switch (set) {
        case InstructionSet::Avx512:
            return "AVX-512";
        case InstructionSet::Avx2:
            return "AVX2";
        case InstructionSet::Sse2:
            break;
    }
    return "SSE2";
}

void segmentParameters(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const SegmentBatch& batch, const SegmentSearch* searches, int count,
                       float* parameters) {
    withInstructionSet([&](auto isa) __attribute__((always_inline)) {
        runSearches<decltype(isa)>(how, mode, tolerance, rule, batch, searches, count, parameters);
    });
}

void segmentValues(const CatmullRomCoefficients* segments, const int* segment, const float* t,
                   int count, float* values) {
    withInstructionSet([&](auto isa) __attribute__((always_inline)) {
        using Isa = decltype(isa);
        using Ops = VectorOps<Isa>;
        using Doubles = typename Isa::Doubles;
        using Floats = typename Isa::Floats;
        constexpr int kWidth = Isa::kWidth;
        int p = 0;
        for (; p + kWidth <= count; p += kWidth) {
            Floats k0, k1, k2, k3, at;
            for (int w = 0; w < kWidth; ++w) {
                const CatmullRomCoefficients& c = segments[segment[p + w]];
                k0[w] = c.c0;
                k1[w] = c.c1;
                k2[w] = c.c2;
                k3[w] = c.c3;
                at[w] = t[p + w];
            }
            const Doubles value = steps::segmentValue<Ops>(Ops::widen(k0), Ops::widen(k1),
                                                           Ops::widen(k2), Ops::widen(k3), at);
            const Floats rounded = Ops::rounded(value);
            for (int w = 0; w < kWidth; ++w) values[p + w] = rounded[w];
        }
        for (; p < count; ++p) values[p] = catmullRomAt(segments[segment[p]], t[p]);
    });
}

}  // namespace mw
