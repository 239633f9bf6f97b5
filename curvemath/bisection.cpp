// bisection.cpp -- parameter search: the t at which one coordinate of a
// Catmull-Rom segment reaches a target, by halving [low, high].
#include <algorithm>
#include <cmath>
#include <limits>

#include "curvemath/curvemath.h"

namespace mw {

namespace {

// Segments whose coefficients are this large (or not finite) get no bound, and
// their searches run in full.
constexpr double kLargestBounded = 1e30;

}  // namespace

// The bound. For t in [0, 1] the exact cubic c0 + c1 t + c2 t^2 + c3 t^3 lies
// between the least and the greatest of its Bernstein coefficients. catmullRomAt
// does not compute the exact cubic: t^2 and t^3 are rounded to float (relative
// error at most 2^-24 each, so at most 2^-23 on t^3, and at most 2^-150 absolute
// where they underflow), the products with the float coefficients are exact in
// double, the three double sums and the final rounding to float add at most about
// 3 * 2^-53 + 2^-24 of the values' size. With size = |c0| + |c1| + |c2| + |c3|,
// every value it returns lies within size * 2^-21 of the exact cubic, and the
// double arithmetic of the bound itself is off by far less than size * 2^-40. So
// every value lies in [lowest, highest] below, whose margin of size * 2^-20 covers
// both with room to spare.
//
// Rounded sums keep the order of their operands: every v <= highest has v + tol <=
// highest + tol, so when highest does not reach up to the target no value does, and
// likewise when lowest does not reach down to it (steps.h: the tolerance test's
// two halves). A segment without a bound, or a tolerance that is not positive,
// gets the widest reach, which every finite target is within.
SegmentReach segmentReach(const CatmullRomCoefficients& c, float tolerance) {
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    const double c0 = c.c0, c1 = c.c1, c2 = c.c2, c3 = c.c3;
    const double size = std::fabs(c0) + std::fabs(c1) + std::fabs(c2) + std::fabs(c3);
    if (!(size < kLargestBounded) || !(tolerance > 0.0f)) return {-kUnbounded, kUnbounded, 0.0};
    const double b1 = c0 + c1 / 3.0;
    const double b2 = c0 + (2.0 * c1 + c2) / 3.0;
    const double b3 = ((c0 + c1) + c2) + c3;
    const double margin = size * 0x1p-20;
    return {std::min({c0, b1, b2, b3}) - margin, std::max({c0, b1, b2, b3}) + margin, tolerance};
}

bool segmentOutOfReach(const CatmullRomCoefficients& c, float tolerance, float target) {
    return outOfReach(segmentReach(c, tolerance), target);
}

// A search that cannot succeed returns -1.0f whichever way it runs (the loop ends
// when the interval closes or an end stops moving), so giving up before the first
// evaluation gives the same result as the 25 evaluations (low driven up to 1) or
// 150 (high driven down through the subnormals to 0) it would take. Every midpoint
// lies in [low, high], so the bound over [0, 1] applies whenever the interval lies
// within it.
float bisectSegment(const CatmullRomCoefficients& c, char mode, float tolerance, float low,
                    float high, float target) {
    if (low >= 0.0f && high <= 1.0f && segmentOutOfReach(c, tolerance, target)) return -1.0f;
    const auto valueAt = [&c](float t) { return catmullRomAt(c, t); };
    return bisectWith(valueAt, mode, tolerance, low, high, target);
}

float bisectCurveParameter(char mode, float tolerance, float low, float high, float target,
                           float p0, float p1, float p2, float p3) {
    return bisectSegment(catmullRomCoefficients(p0, p1, p2, p3), mode, tolerance, low, high,
                         target);
}

}  // namespace mw
