// batch.cpp -- many independent segment inversions at once. Each search is a chain
// of dependent arithmetic (a bisection step waits for the previous one, a Bairstow
// step too), so one search at a time leaves the processor idle most of the time.
// Here kVectors * kWidth searches advance side by side in the lanes of vector
// registers; when those of a vector have ended, the next searches take it. Every lane does exactly
// the operations of segmentParameter, in the same order, so every result is the same float.
#include <cmath>

#include "curvemath/curvemath.h"
#include "curvemath/steps.h"

namespace mw {

namespace {

using steps::Doubles;
using steps::kWidth;
using steps::Masks;

constexpr int kVectors = 4;  // independent vectors in flight
constexpr int kIdle = -1;

// Bairstow steps a lane takes before it hands its cubic to the one-at-a-time
// iteration, which watches for cycles (nearly every cubic converges before).
constexpr double kLaneSteps = 32;
constexpr double kCubicTrialS = 0.271828;  // start of the first factor
constexpr double kCubicTrialR = 0.314159;
constexpr double kStartTolerance = 1e-15;  // the tolerance of the first 199 steps

const Doubles kSet = Doubles{} + 1.0;
const Doubles kClear = Doubles{};

// The vector of one value per lane. Vectors are written whole: a lane written alone
// and then read back as part of its vector stalls the read.
Doubles vectorOf(const double (&values)[kWidth]) {
    Doubles v{};
    for (int w = 0; w < kWidth; ++w) v[w] = values[w];
    return v;
}

bool anySet(Masks m) {
    for (int w = 0; w < kWidth; ++w)
        if (m[w]) return true;
    return false;
}

bool finite(const CatmullRomCoefficients& c, float target) {
    return std::isfinite(c.c0) && std::isfinite(c.c1) && std::isfinite(c.c2) &&
           std::isfinite(c.c3) && std::isfinite(target);
}

// The bisection of bisectSegment over [0, 1], one search per lane. The direction is
// a template argument: a mask chosen at run time between two comparisons is no
// longer known to be a comparison (see steps::select).
template <bool falling>
struct BisectionLanes {
    double tolerance;
    Doubles low[kVectors], high[kVectors], target[kVectors];
    Doubles c0[kVectors], c1[kVectors], c2[kVectors], c3[kVectors];
    Doubles result[kVectors];   // the midpoint that hit, or -1 where a search ended without
    Doubles running[kVectors];  // 1 in lanes whose search has not ended, else 0

    // The searches about to enter one vector, lane by lane.
    struct Start {
        double target[kWidth], c0[kWidth], c1[kWidth], c2[kWidth], c3[kWidth];
        double running[kWidth];
    };

    // Lane w of `start` takes search s; false when the search is settled at once (out
    // of reach) and needs no lane.
    bool prepare(Start& start, int w, const SegmentSearch& s, float& parameter) const {
        if (segmentOutOfReach(s.segment, static_cast<float>(tolerance), s.target)) {
            parameter = -1.0f;
            return false;
        }
        start.target[w] = s.target;
        start.c0[w] = s.segment.c0;
        start.c1[w] = s.segment.c1;
        start.c2[w] = s.segment.c2;
        start.c3[w] = s.segment.c3;
        start.running[w] = 1.0;
        return true;
    }

    // A lane without a search: the constant 0, ended before it starts.
    void leaveIdle(Start& start, int w) const {
        start.target[w] = start.c0[w] = start.c1[w] = start.c2[w] = start.c3[w] = 0.0;
        start.running[w] = 0.0;
    }

    void load(int v, const Start& start) {
        low[v] = kClear;
        high[v] = kSet;
        result[v] = kClear - 1.0;
        running[v] = vectorOf(start.running);
        target[v] = vectorOf(start.target);
        c0[v] = vectorOf(start.c0);
        c1[v] = vectorOf(start.c1);
        c2[v] = vectorOf(start.c2);
        c3[v] = vectorOf(start.c3);
    }

    // One step of every running search of vector v; a search that ends keeps its
    // interval and result from then on.
    void step(int v) {
        const Masks on = running[v] > 0.0;
        const Doubles lo = low[v], hi = high[v], aim = target[v];
        const Doubles mid = steps::roundToFloat((lo + hi) * 0.5);
        const Doubles value = steps::segmentValue(c0[v], c1[v], c2[v], c3[v], mid);
        const Masks hit = (value + tolerance > aim) & (value - tolerance < aim);
        const Masks above = value > aim, below = value < aim;
        const Doubles newLow = steps::select((falling ? above : below) & on & ~hit, mid, lo);
        const Doubles newHigh = steps::select((falling ? below : above) & on & ~hit, mid, hi);
        const Masks moved = (newLow != lo) | (newHigh != hi);
        const Masks open = newHigh > newLow;
        low[v] = newLow;
        high[v] = newHigh;
        result[v] = steps::select(hit & on, mid, result[v]);
        running[v] = steps::select(on & ~hit & moved & open, kSet, kClear);
    }

    bool ended(int v) const { return !anySet(running[v] > 0.0); }
    float finish(int v, int w, const SegmentSearch&) const {
        return static_cast<float>(result[v][w]);
    }
};

// solveCatmullRomSegment and acceptedRoot, one cubic per lane. Segments the lanes
// do not take (no cubic term, or values that are not finite) are solved one at a
// time, as segmentParameter does it.
struct RootLanes {
    StartOnTarget rule;
    Doubles a1[kVectors], a2[kVectors], a3[kVectors], r[kVectors], s[kVectors];
    Doubles stepsTaken[kVectors];
    Doubles converged[kVectors];  // 1 or 0, as running
    Doubles running[kVectors];

    struct Start {
        double a1[kWidth], a2[kWidth], a3[kWidth], running[kWidth];
    };

    bool prepare(Start& start, int w, const SegmentSearch& search, float& parameter) const {
        const CatmullRomCoefficients& c = search.segment;
        if (c.c3 == 0.0f || !finite(c, search.target)) {
            parameter = segmentParameter(Inversion::Roots, 'n', 0.0f, rule, c, search.target);
            return false;
        }
        // The cubic normalised to leading coefficient 1, as findQuadraticFactors does.
        const double lead = c.c3;
        start.a1[w] = c.c2 / lead;
        start.a2[w] = c.c1 / lead;
        start.a3[w] = (static_cast<double>(c.c0) - search.target) / lead;
        start.running[w] = 1.0;
        return true;
    }

    // A lane without a cubic: x^3 with the factor x^2, a zero correction at once.
    void leaveIdle(Start& start, int w) const {
        start.a1[w] = start.a2[w] = start.a3[w] = start.running[w] = 0.0;
    }

    void load(int v, const Start& start) {
        a1[v] = vectorOf(start.a1);
        a2[v] = vectorOf(start.a2);
        a3[v] = vectorOf(start.a3);
        running[v] = vectorOf(start.running);
        r[v] = steps::select(running[v] > 0.0, kSet * kCubicTrialR, kClear);
        s[v] = steps::select(running[v] > 0.0, kSet * kCubicTrialS, kClear);
        stepsTaken[v] = kClear;
        converged[v] = kClear;
    }

    // One step of every running cubic of vector v; a cubic that has converged or
    // taken its lane's steps keeps its factor from then on.
    void step(int v) {
        const Masks on = running[v] > 0.0;
        Doubles dr, ds;
        steps::bairstowCubicStep(a1[v], a2[v], a3[v], r[v], s[v], dr, ds);
        r[v] = steps::select(on, r[v] + dr, r[v]);
        s[v] = steps::select(on, s[v] + ds, s[v]);
        const Doubles taken = stepsTaken[v] + 1.0;
        stepsTaken[v] = steps::select(on, taken, stepsTaken[v]);
        const Doubles size = steps::magnitude(dr) + steps::magnitude(ds);
        const Masks done = (size <= kStartTolerance) | (size != size);
        converged[v] = steps::select(on & done, kSet, converged[v]);
        running[v] = steps::select(on & ~done & (taken < kLaneSteps), kSet, kClear);
    }

    bool ended(int v) const { return !anySet(running[v] > 0.0); }

    float finish(int v, int w, const SegmentSearch& search) const {
        const double a1w = a1[v][w];
        double factorR = r[v][w], factorS = s[v][w];
        if (converged[v][w] == 0.0) {
            const int next = static_cast<int>(stepsTaken[v][w]) + 1;
            steps::refineCubicFactor(a1w, a2[v][w], a3[v][w], factorR, factorS, next);
        }
        float roots[3] = {-1.0f, -1.0f, -1.0f};
        steps::cubicRootSlots(roots, a1w, factorR, factorS);
        return acceptedRoot(roots, search.segment.c0, search.target, rule);
    }
};

// Runs every search through the lanes. A vector takes the next searches once all of
// its lanes have ended, and vectors are looked at only every kRounds steps (a search
// that ends in between waits, unchanged): looking after every step would cost a
// hard-to-predict branch per lane and step, more than the steps it saves.
template <typename Lanes>
void runLanes(Lanes& lanes, const SegmentSearch* searches, int count, float* parameters) {
    constexpr int kRounds = 4;
    int job[kVectors][kWidth];
    int next = 0;
    int live = 0;  // vectors with a search in some lane
    // Loads the next searches that need a lane into vector v; false if none is left.
    auto load = [&](int v) {
        typename Lanes::Start start;
        bool any = false;
        for (int w = 0; w < kWidth; ++w) {
            job[v][w] = kIdle;
            while (next < count && job[v][w] == kIdle) {
                const int j = next++;
                if (lanes.prepare(start, w, searches[j], parameters[j])) job[v][w] = j;
            }
            if (job[v][w] == kIdle)
                lanes.leaveIdle(start, w);
            else
                any = true;
        }
        lanes.load(v, start);
        return any;
    };
    bool busy[kVectors];
    for (int v = 0; v < kVectors; ++v) live += busy[v] = load(v);
    while (live > 0) {
        for (int round = 0; round < kRounds; ++round)
            for (int v = 0; v < kVectors; ++v) lanes.step(v);
        for (int v = 0; v < kVectors; ++v) {
            if (!busy[v] || !lanes.ended(v)) continue;
            for (int w = 0; w < kWidth; ++w) {
                const int j = job[v][w];
                if (j != kIdle) parameters[j] = lanes.finish(v, w, searches[j]);
            }
            busy[v] = load(v);
            live += busy[v] ? 0 : -1;
        }
    }
}

}  // namespace

void segmentParameters(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const SegmentSearch* searches, int count, float* parameters) {
    if (how == Inversion::Bisection && mode == 'v') {
        BisectionLanes<true> lanes{};
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    } else if (how == Inversion::Bisection) {
        BisectionLanes<false> lanes{};
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    } else {
        RootLanes lanes{};
        lanes.rule = rule;
        runLanes(lanes, searches, count, parameters);
    }
}

}  // namespace mw
