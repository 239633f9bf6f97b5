// curvemath.h -- Catmull-Rom and Hermite segments: evaluation, drawing as line
// strips, and two ways of inverting a segment (bisection, roots of its cubic).
#pragma once

#include <array>

namespace mw {

// Power-form coefficients of one coordinate of a Catmull-Rom segment:
// p(t) = c0 + c1 t + c2 t^2 + c3 t^3, each coefficient rounded to float.
struct CatmullRomCoefficients {
    float c0, c1, c2, c3;
};
CatmullRomCoefficients catmullRomCoefficients(float p0, float p1, float p2, float p3);

// The segment at t from its coefficients: t squared and cubed rounded to float, the
// sum formed in double and rounded once. Callers that evaluate one segment many
// times form its coefficients once and come here; catmullRomValue does the same
// steps, so both give the same float.
inline float catmullRomAt(const CatmullRomCoefficients& c, float t) {
    const float t2 = t * t;
    const float t3 = t * t2;
    return static_cast<float>(
        ((c.c0 + static_cast<double>(t) * c.c1) + static_cast<double>(t2) * c.c2) +
        static_cast<double>(t3) * c.c3);
}

// One coordinate of the uniform Catmull-Rom segment over p0..p3 at t (runs from
// p1 at t = 0 to p2 at t = 1).
float catmullRomValue(float t, float p0, float p1, float p2, float p3);

// Draw one segment as a white GL_LINE_STRIP of 11 vertices on whole pixels.
void drawCatmullRomSegment(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y,
                           float p3x, float p3y);
void drawHermiteSegment(float p0x, float p0y, float p1x, float p1y, float t0x, float t0y,
                        float t1x, float t1y);

// Parameter in [low, high] at which the segment's coordinate lies strictly within
// tolerance of target, or exactly -1.0f for none. Mode 'v': the coordinate falls as
// t rises; any other mode: it rises.
float bisectCurveParameter(char mode, float tolerance, float low, float high, float target,
                           float p0, float p1, float p2, float p3);
// The same search on a segment given by its coefficients. Returns -1.0f at once,
// without evaluating, when a bound on the segment shows that no midpoint can come
// within tolerance of target (see bisection.cpp).
float bisectSegment(const CatmullRomCoefficients& c, char mode, float tolerance, float low,
                    float high, float target);
// True when no value the segment gives for a float t in [0, 1], as catmullRomAt
// computes it, can pass the tolerance test of the bisection for target.
bool segmentOutOfReach(const CatmullRomCoefficients& c, float tolerance, float target);

// The bisection over any coordinate function valueAt(float t) -> float;
// bisectCurveParameter runs it on catmullRomValue. There is no iteration counter:
// it halves [low, high] until a midpoint's value lies strictly within tolerance of
// target (returns that midpoint) or the interval closes (returns -1.0f). An
// iteration that moves neither end (a non-positive tolerance with a value exactly
// on target, a NaN value or target, a midpoint rounding onto the end it would
// replace) also returns -1.0f, since the loop could never end otherwise.
template <typename ValueAt>
float bisectWith(ValueAt&& valueAt, char mode, float tolerance, float low, float high,
                 float target) {
    const double tol = tolerance;
    const bool falling = mode == 'v';  // every other mode searches a rising coordinate
    while (high > low) {
        const float mid = static_cast<float>((static_cast<double>(low) + high) * 0.5);
        const float v = valueAt(mid);
        if (v + tol > target && v - tol < target) return mid;
        const float oldLow = low, oldHigh = high;
        if (v > target) {
            (falling ? low : high) = mid;
        } else if (v < target) {
            (falling ? high : low) = mid;
        }
        if (low == oldLow && high == oldHigh) return -1.0f;
    }
    return -1.0f;
}

// Polynomial root finder (Bairstow). Polynomials are highest power first.
constexpr int kMaxPolynomialDegree = 16;
// Writes up to three candidate parameters t with catmullRomValue(t) == target: slot 0
// the root of the linear factor, slots 1 and 2 those of the quadratic factor (larger
// magnitude first; a complex pair gives its real part to both). A root of exactly
// 0 + 0i is not written, so callers set all three slots to -1.0f before the call;
// they then take the first slot in [0, 1]. A zero cubic coefficient (evenly spaced
// values) makes every slot NaN, which that test also rejects.
void solveCatmullRomCubic(float roots[3], float target, float p0, float p1, float p2, float p3);
// The candidates the morph engine uses: the cubic's roots, or those of the quadratic
// or line left when the segment's cubic term vanishes (evenly spaced values).
void solveCatmullRomSegment(float roots[3], float target, float p0, float p1, float p2,
                            float p3);
// The same from the segment's coefficients (c0 is the start value p1).
void solveCatmullRomSegment(float roots[3], float target, const CatmullRomCoefficients& c);

// --- Inverting a segment, as the morph engine does it -------------------------------

enum class Inversion { Bisection, Roots };  // useBinarySearch set / clear

// What a target exactly on the segment's start gives when no root lies in [0, 1]
// (the cubic yields that root only up to rounding: a tiny negative number, or an
// exact zero it leaves unwritten). Always: a hit at t = 0. WhenSolved: a hit at
// t = 0 only if some slot holds a number; a segment whose cubic gives NaN in every
// slot (all four values equal, or values beyond the float range) reaches nothing.
// The crossing search has the first rule, the curvilinear mapping the second.
enum class StartOnTarget { Always, WhenSolved };

// The parameter taken from the root slots: the first in [0, 1] (both ends
// included), else 0 for a target on the start as `rule` says, else -1.0f.
float acceptedRoot(const float roots[3], float start, float target, StartOnTarget rule);

// Parameter in [0, 1] at which the segment reaches target, or -1.0f for none: by
// bisection within tolerance in the direction `mode` names ('v' falling, else
// rising), or by the roots of its cubic with acceptedRoot.
float segmentParameter(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const CatmullRomCoefficients& c, float target);

// --- Many searches at once (batch.cpp) ------------------------------------------------

// A batch: the segments its searches run on, filled by the caller, and what the
// bisection keeps of each segment while the batch runs: its values at the midpoints
// of its first kTableDepth steps (batch.cpp).
constexpr int kBatchSegments = 512;  // a curve's segments, or a plot's, fit
constexpr int kTableDepth = 6;
constexpr int kTableKeys = (1 << kTableDepth) - 1;
struct SegmentTable {
    std::array<float, kTableKeys> keys{};  // values at t = k / 64, k = 1..63
    bool ordered = false;                  // keys strictly rising in the search's direction
    bool filled = false;
};
struct SegmentBatch {
    std::array<CatmullRomCoefficients, kBatchSegments> segments{};
    std::array<SegmentTable, kBatchSegments> tables{};
};

// One search of a batch: a segment, by its number in the batch, and the target.
struct SegmentSearch {
    int segment;
    float target;
};

// parameters[i] = segmentParameter(how, mode, tolerance, rule,
// batch.segments[searches[i].segment], searches[i].target) for every i below count,
// found many at a time. The searches use segments 0 .. segmentCount - 1.
void segmentParameters(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       SegmentBatch& batch, int segmentCount, const SegmentSearch* searches,
                       int count, float* parameters);
// Whether batches may use AVX2 (four doubles per vector instead of two) on a
// processor that has it; allowed from the start. Both give the same results; the
// tests run each.
void allowWideLanes(bool allowed);
bool wideLanesInUse();

void findQuadraticFactors(double* a, int n, double* trial, double* factors);
void refineQuadraticFactor(const double* a, int n, double* trial);
void divideByQuadratic(const double* a, int n, const double* trial, double* b);
int solveQuadraticFactors(const double* factors, int n, double* re, double* im);

}  // namespace mw
