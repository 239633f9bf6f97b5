// curvemath.h -- Catmull-Rom and Hermite segments: evaluation, drawing as line
// strips, and two ways of inverting a segment (bisection, roots of its cubic).
#pragma once

#include <array>
#include <cmath>

#include "curvemath/steps.h"

namespace mw {

// Power-form coefficients of one coordinate of a Catmull-Rom segment:
// p(t) = c0 + c1 t + c2 t^2 + c3 t^3, each coefficient rounded to float.
struct CatmullRomCoefficients {
    float c0, c1, c2, c3;
};
CatmullRomCoefficients catmullRomCoefficients(float p0, float p1, float p2, float p3);

// The segment at t from its coefficients: t squared and cubed rounded to float, the
// sum formed in double and rounded once. Callers that evaluate one segment many
// times form its coefficients once and come here.
inline float catmullRomAt(const CatmullRomCoefficients& c, float t) {
    return static_cast<float>(steps::segmentValue<steps::ScalarOps>(c.c0, c.c1, c.c2, c.c3, t));
}

// Draw one segment as a white GL_LINE_STRIP of 11 vertices on whole pixels.
void drawCatmullRomSegment(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y,
                           float p3x, float p3y);
void drawHermiteSegment(float p0x, float p0y, float p1x, float p1y, float t0x, float t0y, float t1x,
                        float t1y);

// --- Inverting segments, as the morph engine does it -----------------------------------

enum class Inversion { Bisection, Roots };  // useBinarySearch set / clear

// What a target exactly on the segment's start gives when no root lies in [0, 1]
// (the cubic yields that root only up to rounding: a tiny negative number, or an
// exact zero it leaves unwritten). Always: a hit at t = 0. WhenSolved: a hit at
// t = 0 only if some slot holds a number; a segment whose cubic gives NaN in every
// slot (all four values equal, or values beyond the float range) reaches nothing.
// The crossing search has the first rule, the curvilinear mapping the second.
enum class StartOnTarget { Always, WhenSolved };

// A batch: the segments its searches run on, filled by the caller.
constexpr int kBatchSegments = 512;  // a curve's segments, or a plot's, fit
struct SegmentBatch {
    std::array<CatmullRomCoefficients, kBatchSegments> segments{};
};

// One search of a batch: a segment, by its number in the batch, and the target.
struct SegmentSearch {
    int segment;
    float target;
};

// For every search i below count, the parameter in [0, 1] at which its segment
// reaches its target, or -1.0f for none: by bisection within tolerance in the
// direction `mode` names ('v': the coordinate falls as t rises; any other mode: it
// rises), or by the roots of the segment's cubic, the first in [0, 1] (else a
// target on the start as `rule` says). The searches run many at a time in vector
// lanes; each gives what segmentParameter gives it.
void segmentParameters(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const SegmentBatch& batch, const SegmentSearch* searches, int count,
                       float* parameters);

// values[p] = catmullRomAt(segments[segment[p]], t[p]) for every p below count,
// many at a time.
void segmentValues(const CatmullRomCoefficients* segments, const int* segment, const float* t,
                   int count, float* values);

// True when no value the segment gives for a float t in [0, 1], as catmullRomAt
// computes it, can pass the bisection's tolerance test for target: such a search
// ends without a parameter whichever way it runs.
bool segmentOutOfReach(const CatmullRomCoefficients& c, float tolerance, float target);

// That test in two parts, the first formed once per segment and tolerance: bounds
// on every value the segment gives over [0, 1], and the tolerance; then, per
// target, whether either bound fails its half of the tolerance test.
struct SegmentReach {
    double lowest, highest, tolerance;
};
SegmentReach segmentReach(const CatmullRomCoefficients& c, float tolerance);
inline bool outOfReach(const SegmentReach& r, float target) {
    const double aim = target;
    const bool fails = !steps::reachesUpTo<steps::ScalarOps>(r.highest, r.tolerance, aim) ||
                       !steps::reachesDownTo<steps::ScalarOps>(r.lowest, r.tolerance, aim);
    return std::isfinite(target) && fails;
}

// The parameter taken from the root slots: the first in [0, 1] (both ends
// included), else 0 for a target on the start as `rule` says, else -1.0f.
float acceptedRoot(const float roots[3], float start, float target, StartOnTarget rule);

// The root candidates the morph engine uses: the cubic's roots as
// solveCatmullRomCubic writes them, or those of the quadratic or line left when the
// segment's cubic term vanishes (evenly spaced values). c0 is the start value p1.
void solveCatmullRomSegment(float roots[3], float target, const CatmullRomCoefficients& c);

// --- Polynomial roots (Bairstow), highest power first -----------------------------

constexpr int kMaxPolynomialDegree = 16;
void findQuadraticFactors(double* a, int n, double* trial, double* factors);
void refineQuadraticFactor(const double* a, int n, double* trial);
void divideByQuadratic(const double* a, int n, const double* trial, double* b);
int solveQuadraticFactors(const double* factors, int n, double* re, double* im);

// --- One search at a time ------------------------------------------------------------
// The forms the tests and benchmarks hold the batches against; the program itself
// inverts segments only through segmentParameters.

// One coordinate of the uniform Catmull-Rom segment over p0..p3 at t (runs from
// p1 at t = 0 to p2 at t = 1).
float catmullRomValue(float t, float p0, float p1, float p2, float p3);

// Parameter in [low, high] at which the segment's coordinate lies strictly within
// tolerance of target, or exactly -1.0f for none; mode as for segmentParameters.
// (steps.h: bisect, the rules the lanes follow too).
float bisectCurveParameter(char mode, float tolerance, float low, float high, float target,
                           float p0, float p1, float p2, float p3);
// The same search on a segment given by its coefficients, which gives up at once
// when segmentOutOfReach holds (its result, -1.0f, is the same).
float bisectSegment(const CatmullRomCoefficients& c, char mode, float tolerance, float low,
                    float high, float target);
// The bisection over any coordinate function valueAt(float t) -> float.
template <typename ValueAt>
float bisectWith(ValueAt&& valueAt, char mode, float tolerance, float low, float high,
                 float target) {
    return mode == 'v' ? steps::bisect<true>(valueAt, tolerance, target, low, high)
                       : steps::bisect<false>(valueAt, tolerance, target, low, high);
}

// Writes up to three candidate parameters t with catmullRomValue(t) == target: slot 0
// the root of the linear factor, slots 1 and 2 those of the quadratic factor (larger
// magnitude first; a complex pair gives its real part to both). A root of exactly
// 0 + 0i is not written, so callers set all three slots to -1.0f before the call;
// they then take the first slot in [0, 1]. A zero cubic coefficient (evenly spaced
// values) makes every slot NaN, which that test also rejects.
void solveCatmullRomCubic(float roots[3], float target, float p0, float p1, float p2, float p3);
void solveCatmullRomSegment(float roots[3], float target, float p0, float p1, float p2, float p3);

// What segmentParameters gives one search.
float segmentParameter(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const CatmullRomCoefficients& c, float target);

}  // namespace mw
