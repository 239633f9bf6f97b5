// steps.h -- inside the curve mathematics: the steps that inverting a segment
// repeats, written once for a double and for a vector of doubles, so that the
// searches done one at a time and those done many at a time (batch.cpp) perform
// the same operations in the same order and give the same floats. Not part of
// the curve mathematics' interface.
#pragma once

#include <cmath>

namespace mw::steps {

// The operations the steps below need, on one double; batch.cpp gives the same
// operations on vectors of doubles (lanes of a vector are independent searches).
struct ScalarOps {
    using Value = double;
    using Mask = bool;
    // x stored as a float and read back: a float product or sum that the caller
    // forms exactly in double (the product of two floats always is) and rounds once.
    static double roundToFloat(double x) { return static_cast<float>(x); }
    static double select(bool m, double a, double b) { return m ? a : b; }
    static double magnitude(double x) { return std::fabs(x); }
};

// The Catmull-Rom segment with coefficients c0..c3 at the float t, as catmullRomAt
// computes it: t^2 and t^3 rounded to float, the sum in double rounded to float.
// (Always inlined, so that each of batch.cpp's instruction sets compiles its own.)
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline V segmentValue(const V& c0, const V& c1, const V& c2, const V& c3,
                                             const V& t) {
    const V t2 = Ops::roundToFloat(t * t);
    const V t3 = Ops::roundToFloat(t * t2);
    return Ops::roundToFloat(((c0 + t * c1) + t2 * c2) + t3 * c3);
}

constexpr double kSingularDeterminant = 1e-10;
constexpr double kDeterminantFloor = 1e-8;

// One step of Bairstow's iteration on the monic cubic x^3 + a1 x^2 + a2 x + a3 and
// the trial factor x^2 + r x + s: the two synthetic divisions and the correction
// (dr, ds), as the general iteration forms them for degree 3, where b0 = d0 = 1
// and multiplying by them is left out (it changes no value).
template <typename Ops, typename D = typename Ops::Value>
[[gnu::always_inline]] inline void bairstowCubicStep(const D& a1, const D& a2, const D& a3,
                                                     const D& r, const D& s, D& dr, D& ds) {
    const D b1 = a1 - r;
    const D b2 = (a2 - r * b1) - s;
    const D b3 = (a3 - r * b2) - s * b1;
    const D d1 = b1 - r;
    const D d2 = (b2 - r * d1) - s;
    D det = d2 - d1 * d1;
    // A nearly singular Jacobian would make the step huge or infinite.
    const D zero = D{} + 0.0;
    const D floor = Ops::select(det < zero, zero - kDeterminantFloor, zero + kDeterminantFloor);
    det = Ops::select(Ops::magnitude(det) < kSingularDeterminant, floor, det);
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
