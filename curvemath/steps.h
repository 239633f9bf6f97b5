// steps.h -- inside the curve mathematics: the steps that inverting a segment
// repeats, written once for a double and for a vector of doubles, so that the
// searches done one at a time and those done many at a time (batch.cpp) perform
// the same operations in the same order and give the same floats. Not part of
// the curve mathematics' interface.
#pragma once

#include <emmintrin.h>

#include <cmath>
#include <cstdint>

namespace mw::steps {

// Two doubles side by side: the widest vector every x86-64 processor has. Lanes of
// a vector are independent searches.
using Doubles = double __attribute__((vector_size(16)));
using Floats = float __attribute__((vector_size(8)));
// What comparing two Doubles gives: all bits of a lane set where true. (Taking any
// other integer vector type instead makes the compiler convert lane by lane.)
using Masks = decltype(Doubles{} < Doubles{});
constexpr int kWidth = 2;

// x stored as a float and read back: a float product or sum that the caller forms
// exactly in double (the product of two floats always is) and rounds once.
inline double roundToFloat(double x) {
    return static_cast<float>(x);
}
inline Doubles roundToFloat(Doubles x) {
    return __builtin_convertvector(__builtin_convertvector(x, Floats), Doubles);
}

inline double select(bool m, double a, double b) {
    return m ? a : b;
}
inline Doubles select(Masks m, Doubles a, Doubles b) {
    return m ? a : b;
}

// One bit per lane of a mask, lane 0 lowest.
inline int signBits(Masks m) {
    return _mm_movemask_pd(reinterpret_cast<__m128d>(m));
}

inline double magnitude(double x) {
    return std::fabs(x);
}
inline Doubles magnitude(Doubles x) {
    const Masks noSign = {INT64_MAX, INT64_MAX};
    return reinterpret_cast<Doubles>(reinterpret_cast<Masks>(x) & noSign);
}

// The Catmull-Rom segment with coefficients c0..c3 at the float t, as catmullRomAt
// computes it: t^2 and t^3 rounded to float, the sum in double rounded to float.
template <typename D>
D segmentValue(D c0, D c1, D c2, D c3, D t) {
    const D t2 = roundToFloat(t * t);
    const D t3 = roundToFloat(t * t2);
    return roundToFloat(((c0 + t * c1) + t2 * c2) + t3 * c3);
}

constexpr double kSingularDeterminant = 1e-10;
constexpr double kDeterminantFloor = 1e-8;

// One step of Bairstow's iteration on the monic cubic x^3 + a1 x^2 + a2 x + a3 and
// the trial factor x^2 + r x + s: the two synthetic divisions and the correction
// (dr, ds), as the general iteration forms them for degree 3, where b0 = d0 = 1
// and multiplying by them is left out (it changes no value).
template <typename D>
void bairstowCubicStep(D a1, D a2, D a3, D r, D s, D& dr, D& ds) {
    const D b1 = a1 - r;
    const D b2 = (a2 - r * b1) - s;
    const D b3 = (a3 - r * b2) - s * b1;
    const D d1 = b1 - r;
    const D d2 = (b2 - r * d1) - s;
    D det = d2 - d1 * d1;
    // A nearly singular Jacobian would make the step huge or infinite.
    const D zero = D{} + 0.0;
    const D floor = select(det < zero, zero - kDeterminantFloor, zero + kDeterminantFloor);
    det = select(magnitude(det) < kSingularDeterminant, floor, det);
    dr = (b3 - b2 * d1) / det;
    ds = (d2 * b2 - b3 * d1) / det;
}

// Bairstow's iteration on the monic cubic x^3 + a1 x^2 + a2 x + a3 from step i on
// (the steps before it already taken), refining the trial factor x^2 + r x + s in
// place: refineQuadraticFactor for degree 3 is this from step 1 (roots.cpp).
void refineCubicFactor(double a1, double a2, double a3, double& r, double& s, int i);
// The root slots solveCatmullRomCubic writes, from the normalised cubic's a1 and its
// refined factor (r, s): slots it leaves alone keep what the caller put there.
void cubicRootSlots(float roots[3], double a1, double r, double s);

}  // namespace mw::steps
