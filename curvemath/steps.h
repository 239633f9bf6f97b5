// steps.h -- inside the curve mathematics: every rule that inverting a segment
// repeats, written once for a double (ScalarOps) and for a vector of doubles
// (batch.cpp's VectorOps, lanes of a vector being independent searches): the
// segment's value, the bisection's midpoint, tolerance test and narrowing, and
// Bairstow's step and its loop control. The searches done one at a time and those
// done many at a time perform the same operations in the same order and give the
// same floats. The templates are always inlined, so that each instruction set a
// kernel is built for (instruction_set.h) compiles its own copy.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace mw::steps {

// The type of an argument that must not decide a template's type: the steps work in
// Ops::Value (a double for ScalarOps) whatever their arguments are, so a float passed
// in is widened first.
template <typename T>
using Same = std::type_identity_t<T>;

// The operations the steps need, on one double. Comparisons are operations too: a
// vector's comparison may give a mask register rather than a vector.
struct ScalarOps {
    using Value = double;
    using Floats = float;
    using Mask = bool;
    static double widen(float x) { return x; }
    static float rounded(double x) { return static_cast<float>(x); }
    // x stored as a float and read back: a sum that the caller forms exactly in
    // double and rounds once.
    static double roundToFloat(double x) { return static_cast<float>(x); }
    static double select(bool m, double a, double b) { return m ? a : b; }
    static double magnitude(double x) { return std::fabs(x); }
    static bool less(double a, double b) { return a < b; }
    static bool lessEqual(double a, double b) { return a <= b; }
    static bool greater(double a, double b) { return a > b; }
    static bool equal(double a, double b) { return a == b; }
    static bool notEqual(double a, double b) { return a != b; }
};

// The Catmull-Rom segment with coefficients c0..c3 at the float t: t^2 and t^3
// rounded to float, the sum formed in double and rounded to float. A product of
// two floats is exact in double, so rounding it to float gives what the float
// multiplication gives: t^2 and t^3 are float products.
template <typename Ops, typename V = typename Ops::Value, typename F = typename Ops::Floats>
[[gnu::always_inline]] inline V segmentValue(const Same<V>& c0, const Same<V>& c1,
                                             const Same<V>& c2, const Same<V>& c3,
                                             const Same<F>& t) {
    const F t2 = t * t;
    const F t3 = t * t2;
    return Ops::roundToFloat(((c0 + Ops::widen(t) * c1) + Ops::widen(t2) * c2) +
                             Ops::widen(t3) * c3);
}

// --- Bisection ---------------------------------------------------------------------

// The midpoint of [low, high], formed in double and rounded to float (kept as a
// float).
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline auto midpoint(const Same<V>& low, const Same<V>& high) {
    return Ops::rounded((low + high) * 0.5);
}

// The tolerance test: a value passes when it lies strictly within tolerance of the
// target, both sums formed in double. Its halves on their own: every value that
// fails one half, and every value beyond it, fails the test.
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline auto reachesUpTo(const Same<V>& value, const Same<V>& tolerance,
                                               const Same<V>& target) {
    return Ops::greater(value + tolerance, target);
}
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline auto reachesDownTo(const Same<V>& value, const Same<V>& tolerance,
                                                 const Same<V>& target) {
    return Ops::less(value - tolerance, target);
}
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline auto withinTolerance(const Same<V>& value, const Same<V>& tolerance,
                                                   const Same<V>& target) {
    return reachesUpTo<Ops>(value, tolerance, target) &
           reachesDownTo<Ops>(value, tolerance, target);
}

// One narrowing of [low, high] (low < high) where `active` holds: the midpoint's
// value above the target sends a falling search (its coordinate falls as t rises)
// up, a rising one down; below the target the other way. Gives where the search
// goes on, the interval having shrunk and staying open: where the value lies off
// the target (a value on it, or NaN, moves neither end) and the midpoint strictly
// inside (rounded onto an end, it either moves nothing or closes the interval).
template <typename Ops, bool falling, typename V = typename Ops::Value,
          typename M = typename Ops::Mask>
[[gnu::always_inline]] inline M narrow(const Same<V>& mid, const Same<V>& value,
                                       const Same<V>& target, const Same<M>& active, V& low,
                                       V& high) {
    const M above = Ops::greater(value, target);
    const M below = Ops::less(value, target);
    const M goesOn = active & (above | below) & Ops::less(low, mid) & Ops::less(mid, high);
    low = Ops::select((falling ? above : below) & active, mid, low);
    high = Ops::select((falling ? below : above) & active, mid, high);
    return goesOn;
}

// The bisection one search at a time, over valueAt(float t) -> float from [low,
// high]: the parameter found, or -1 when the interval is empty or the search ends
// without one. There is no iteration counter: a step that cannot narrow the
// interval (a non-positive tolerance with a value exactly on the target, a NaN value
// or target, a midpoint rounding onto an end) ends it, since it would repeat for
// ever.
template <bool falling, typename ValueAt>
float bisect(ValueAt&& valueAt, float tolerance, float target, float low, float high) {
    if (!(high > low)) return -1.0f;
    const double tol = tolerance;
    const double aim = target;
    double lo = low, hi = high;
    for (;;) {
        const double mid = midpoint<ScalarOps>(lo, hi);
        const double value = valueAt(mid);
        if (withinTolerance<ScalarOps>(value, tol, aim)) return static_cast<float>(mid);
        if (!narrow<ScalarOps, falling>(mid, value, aim, true, lo, hi)) return -1.0f;
    }
}

// --- Bairstow's iteration ----------------------------------------------------------

constexpr double kCubicTrialS = 0.271828;  // the first factor's start, x^2 + r x + s
constexpr double kCubicTrialR = 0.314159;
constexpr double kSingularDeterminant = 1e-10;
constexpr double kDeterminantFloor = 1e-8;

// Loop control: at least one step, at most 500; the tolerance is 1e-15, widened
// tenfold at every 200th step (each widening one multiplication by 10).
constexpr int kMaxBairstowSteps = 500;
constexpr int kToleranceWidening = 200;
constexpr double kStartTolerance = 1e-15;
constexpr double kMiddleTolerance = kStartTolerance * 10.0;
constexpr double kLastTolerance = kMiddleTolerance * 10.0;
// Steps 1 .. kToleranceWidening - 1 are taken with the first tolerance.
constexpr int kStepsAtStartTolerance = kToleranceWidening - 1;

constexpr double toleranceOfStep(int i) {
    if (i < kToleranceWidening) return kStartTolerance;
    return i < 2 * kToleranceWidening ? kMiddleTolerance : kLastTolerance;
}

// The first step after i (or i itself) at which the tolerance changes or the
// iteration ends.
constexpr int nextToleranceChange(int i) {
    if (i < kToleranceWidening) return kToleranceWidening;
    return i < 2 * kToleranceWidening ? 2 * kToleranceWidening : kMaxBairstowSteps + 1;
}

// Whether a correction (dr, ds) ends the iteration at tolerance eps: its size
// |dr| + |ds| within eps, or not a number.
template <typename Ops, typename V = typename Ops::Value>
[[gnu::always_inline]] inline auto correctionEnds(const Same<V>& dr, const Same<V>& ds,
                                                  const Same<V>& eps) {
    const V size = Ops::magnitude(dr) + Ops::magnitude(ds);
    return Ops::lessEqual(size, eps) | Ops::notEqual(size, size);
}

// One step of Bairstow's iteration on the monic cubic x^3 + a1 x^2 + a2 x + a3 and
// the trial factor x^2 + r x + s: the two synthetic divisions and the correction
// (dr, ds), as the general iteration forms them for degree 3, where b0 = d0 = 1
// and multiplying by them is left out (it changes no value).
template <typename Ops, typename D = typename Ops::Value>
[[gnu::always_inline]] inline void bairstowCubicStep(const Same<D>& a1, const Same<D>& a2,
                                                     const Same<D>& a3, const Same<D>& r,
                                                     const Same<D>& s, D& dr, D& ds) {
    const D b1 = a1 - r;
    const D b2 = (a2 - r * b1) - s;
    const D b3 = (a3 - r * b2) - s * b1;
    const D d1 = b1 - r;
    const D d2 = (b2 - r * d1) - s;
    D det = d2 - d1 * d1;
    // A nearly singular Jacobian would make the step huge or infinite.
    const D zero = D{} + 0.0;
    const D floor =
        Ops::select(Ops::less(det, zero), zero - kDeterminantFloor, zero + kDeterminantFloor);
    det = Ops::select(Ops::less(Ops::magnitude(det), zero + kSingularDeterminant), floor, det);
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
