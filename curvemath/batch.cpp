// batch.cpp -- many segment inversions at once. Each search is a chain of dependent
// arithmetic (a bisection step waits for the previous one, a Bairstow step too), so
// one search at a time leaves the processor idle most of the time. Here
// kVectors * kWidth searches advance side by side in the lanes of vector registers;
// when those of a vector have ended, the next searches take it. Every step in a
// lane does the same operations in the same order as segmentParameter, so every
// result is the same float.
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
    return steps::signBits(m) != 0;
}

bool finite(const CatmullRomCoefficients& c, float target) {
    return std::isfinite(c.c0) && std::isfinite(c.c1) && std::isfinite(c.c2) &&
           std::isfinite(c.c3) && std::isfinite(target);
}

// Level 3 reads crossing numbers off a plot whose points are numbered 0, 1, 2, ...:
// its inner segments are straight, t -> i + t with i a whole number.
constexpr double kLargestStraightStart = 4096.0;  // 2^12
constexpr int kStraightDepth = 12;

bool risingUnitSlope(const CatmullRomCoefficients& c) {
    return c.c1 == 1.0f && c.c2 == 0.0f && c.c3 == 0.0f && c.c0 >= 0.0f &&
           c.c0 < kLargestStraightStart && c.c0 == std::trunc(c.c0);
}

// The rising bisection on such a segment without evaluating it. At a midpoint m of
// its first kStraightDepth steps (a fraction with at most 12 bits below the point)
// catmullRomAt gives exactly c0 + m: the t^2 and t^3 terms add zeros, and c0 + m has
// at most 24 significant bits. With x = target - c0 (exact, like every quantity here
// for a tolerance of at least 2^-18) the tolerance test is |m - x| < tol, and the
// search moves towards x. So for x in [0, 1) it visits, at depth d, the midpoint of
// the interval of width 2^(1-d) that holds x: m = (floor(y) + 1/2) / 2^(d-1) with
// y = x 2^(d-1), and |m - x| < tol reads |(y - floor(y)) - 1/2| < tol 2^(d-1).
// Returns false (the search goes to the lanes) when no such midpoint hits.
bool straightSearch(double c0, float target, double tolerance, float& parameter) {
    const double x = static_cast<double>(target) - c0;
    if (!(x >= 0.0 && x < 1.0) || !(tolerance >= 0x1p-18)) return false;
    double scale = 1.0;  // 2^(d-1)
    for (int depth = 1; depth <= kStraightDepth; ++depth, scale *= 2.0) {
        const double y = x * scale;
        const double below = std::floor(y);
        if (std::fabs((y - below) - 0.5) < tolerance * scale) {
            parameter = static_cast<float>((below + 0.5) * (1.0 / scale));  // exact
            return true;
        }
    }
    return false;
}

// The first kTableDepth midpoints of every bisection over [0, 1] are the fractions
// k / 64: exact floats, whatever the target. Their values, the keys, are read
// instead of computed. When the keys rise strictly along t (fall strictly, for a
// falling search, whose keys are kept negated: negating both sides changes no
// comparison, since rounding is symmetric), the first steps of the bisection are
// a search in a sorted table: with leaf = the number of keys below the target, the
// midpoints it visits are the keys on the way from the root to the gap `leaf` in
// the binary tree of the keys (node k / 64 at depth d has children k / 64 -+ 2^-(d+1)),
// it stops at the first of them within tolerance, and it goes on from the interval
// [leaf / 64, (leaf + 1) / 64] when none is.
void fillTable(const CatmullRomCoefficients& c, bool falling, SegmentTable& table) {
    const Doubles c0 = kSet * c.c0, c1 = kSet * c.c1, c2 = kSet * c.c2, c3 = kSet * c.c3;
    for (int k = 1; k <= kTableKeys; k += kWidth) {
        double t[kWidth];
        for (int w = 0; w < kWidth; ++w) t[w] = (k + w) * (1.0 / 64.0);  // past the last: unused
        const Doubles v = steps::segmentValue(c0, c1, c2, c3, vectorOf(t));
        for (int w = 0; w < kWidth && k + w <= kTableKeys; ++w)
            table.keys[k + w - 1] = static_cast<float>(falling ? -v[w] : v[w]);
    }
    bool ordered = true;
    for (int k = 1; k < kTableKeys; ++k) ordered = ordered && table.keys[k - 1] < table.keys[k];
    table.ordered = ordered;
    table.filled = true;
}

// The first kTableDepth steps through an ordered table. Returns true with the
// parameter when a key is within tolerance; else the interval the search goes on in.
bool descendTable(const SegmentTable& table, bool falling, float target, double tolerance,
                  float& parameter, double& low, double& high) {
    constexpr double kKeyStep = 1.0 / 64.0;  // exact
    const float aim = falling ? -target : target;
    // Branches rather than arithmetic: neighbouring searches of a line mostly aim at
    // neighbouring gaps, so they are well predicted, and they end the chains early.
    int leaf = 0;  // keys below aim: keys[0 .. leaf - 1]
    for (int step = 1 << (kTableDepth - 1); step > 0; step /= 2)
        if (table.keys[leaf + step - 1] < aim) leaf += step;
    for (int depth = 1; depth <= kTableDepth; ++depth) {
        const int k = (2 * (leaf >> (kTableDepth + 1 - depth)) + 1) << (kTableDepth - depth);
        const double v = table.keys[k - 1];
        if (v + tolerance > aim && v - tolerance < aim) {
            parameter = static_cast<float>(k * kKeyStep);
            return true;
        }
    }
    low = leaf * kKeyStep;
    high = (leaf + 1) * kKeyStep;
    return false;
}

// The bisection of bisectSegment over [0, 1], one search per lane. The direction is
// a template argument: a mask chosen at run time between two comparisons is no
// longer known to be a comparison (see steps::select).
template <bool falling>
struct BisectionLanes {
    SegmentBatch* batch;
    double tolerance;
    Doubles low[kVectors], high[kVectors], target[kVectors];
    Doubles c0[kVectors], c1[kVectors], c2[kVectors], c3[kVectors];
    Doubles result[kVectors];   // the midpoint that hit, or -1 where a search ended without
    Doubles running[kVectors];  // 1 in lanes whose search has not ended, else 0

    // The searches about to enter one vector, lane by lane.
    struct Start {
        double low[kWidth], high[kWidth], target[kWidth];
        double c0[kWidth], c1[kWidth], c2[kWidth], c3[kWidth], running[kWidth];
    };

    // The searches the lanes need not take: those out of reach, and those on a
    // straight segment t -> c0 + t whose result follows from the target alone.
    bool settled(const SegmentSearch& s, float& parameter) const {
        const CatmullRomCoefficients& c = batch->segments[s.segment];
        if (segmentOutOfReach(c, static_cast<float>(tolerance), s.target)) {
            parameter = -1.0f;
            return true;
        }
        return !falling && risingUnitSlope(c) &&
               straightSearch(c.c0, s.target, tolerance, parameter);
    }

    // Lane w of `start` takes search s; false when the search is settled without a
    // lane.
    bool prepare(Start& start, int w, const SegmentSearch& s, float& parameter) {
        if (settled(s, parameter)) return false;
        const CatmullRomCoefficients& c = batch->segments[s.segment];
        SegmentTable& table = batch->tables[s.segment];
        if (!table.filled) fillTable(c, falling, table);
        start.low[w] = 0.0;
        start.high[w] = 1.0;
        if (table.ordered && descendTable(table, falling, s.target, tolerance, parameter,
                                          start.low[w], start.high[w]))
            return false;
        start.target[w] = s.target;
        start.c0[w] = c.c0;
        start.c1[w] = c.c1;
        start.c2[w] = c.c2;
        start.c3[w] = c.c3;
        start.running[w] = 1.0;
        return true;
    }

    // A lane without a search: the constant 0 on a closed interval, ended before it
    // starts.
    void leaveIdle(Start& start, int w) const {
        start.low[w] = start.high[w] = start.target[w] = 0.0;
        start.c0[w] = start.c1[w] = start.c2[w] = start.c3[w] = 0.0;
        start.running[w] = 0.0;
    }

    void load(int v, const Start& start) {
        low[v] = vectorOf(start.low);
        high[v] = vectorOf(start.high);
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
    const SegmentBatch* batch;
    StartOnTarget rule;
    Doubles a1[kVectors], a2[kVectors], a3[kVectors], r[kVectors], s[kVectors];
    Doubles stepsTaken[kVectors];
    Doubles converged[kVectors];  // 1 or 0, as running
    Doubles running[kVectors];

    struct Start {
        double a1[kWidth], a2[kWidth], a3[kWidth], running[kWidth];
    };

    bool prepare(Start& start, int w, const SegmentSearch& search, float& parameter) const {
        const CatmullRomCoefficients& c = batch->segments[search.segment];
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
        return acceptedRoot(roots, batch->segments[search.segment].c0, search.target, rule);
    }
};

// Runs every search through the lanes: a vector takes the next searches once all of
// its lanes have ended (one test of the lanes' signs per vector and step), so its
// lanes are always written whole.
template <typename Lanes>
void runLanes(Lanes& lanes, const SegmentSearch* searches, int count, float* parameters) {
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
        for (int v = 0; v < kVectors; ++v) {
            lanes.step(v);
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
                       SegmentBatch& batch, int segmentCount, const SegmentSearch* searches,
                       int count, float* parameters) {
    if (how == Inversion::Roots) {
        RootLanes lanes{};
        lanes.batch = &batch;
        lanes.rule = rule;
        runLanes(lanes, searches, count, parameters);
        return;
    }
    for (int i = 0; i < segmentCount && i < kBatchSegments; ++i) batch.tables[i].filled = false;
    if (mode == 'v') {
        BisectionLanes<true> lanes{};
        lanes.batch = &batch;
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    } else {
        BisectionLanes<false> lanes{};
        lanes.batch = &batch;
        lanes.tolerance = tolerance;
        runLanes(lanes, searches, count, parameters);
    }
}

}  // namespace mw
