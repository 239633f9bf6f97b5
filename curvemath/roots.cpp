// roots.cpp -- polynomial roots by Bairstow's method: a real polynomial is split
// into quadratic factors x^2 + r x + s (and one linear factor x + c when its degree
// is odd), whose roots come from the numerically stable quadratic formula. The
// workstation solves the cubic of a Catmull-Rom coordinate with it. Working arrays
// are fixed-size: degrees 1 to kMaxPolynomialDegree.
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "curvemath/curvemath.h"
#include "curvemath/steps.h"

namespace mw {

namespace {

using Sequence = std::array<double, kMaxPolynomialDegree + 1>;

// A trial factor is stored constant first: element 0 is s, element 1 is r.
constexpr int kTrialS = 0;
constexpr int kTrialR = 1;

constexpr double kLaterTrialS = 0.314159;  // start of every later factor (degree 5 up)
constexpr double kLaterTrialR = 0.278127;

constexpr double kDoubleRootRatio = std::numeric_limits<double>::epsilon();  // 2^-52
// Roots of the quadratic or line left of a segment without a cubic term are taken
// only below this size: beyond it they lie far outside every segment's [0, 1].
constexpr double kLargestRoot = 1e30;

bool validDegree(int n) {
    return n >= 1 && n <= kMaxPolynomialDegree;
}

// x / divisor, where divisor may be zero: the IEEE quotient (a signed infinity, or
// NaN for 0/0 and NaN/0) without dividing by zero, which the sanitizer build traps.
double quotient(double x, double divisor) {
    if (divisor != 0.0) return x / divisor;
    if (x == 0.0 || std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
    return std::copysign(std::numeric_limits<double>::infinity(), x) * std::copysign(1.0, divisor);
}

// A trial factor, bit for bit (so -0 and +0 differ, and NaN never repeats).
struct FactorBits {
    uint64_t r, s;
    bool operator==(const FactorBits&) const = default;
};

// The iteration watches for a factor it has had before only this late: nearly
// every cubic converges long before.
constexpr int kWatchCyclesFrom = 32;
constexpr int kLongestCycle = 8;

}  // namespace

// Some cubics never meet the tolerance: the factor settles on one value or a short
// cycle of values while the correction stays just above 1e-15, and only the
// widening at step 200 (or 400) ends the iteration. The step maps (r, s) to the
// next factor the same way as long as the tolerance stays the same, so once a
// factor repeats within one tolerance band, the steps up to the band's end would
// only go round the cycle without stopping: they are skipped in whole cycles,
// which leaves the factor exactly as taking them would.
void steps::refineCubicFactor(double a1, double a2, double a3, double& r, double& s, int i) {
    FactorBits seen[kLongestCycle] = {};  // factors at the start of the latest steps
    int seenCount = 0;                    // of this tolerance band; the latest at seenCount - 1
    while (i <= kMaxBairstowSteps) {
        if (i % kToleranceWidening == 0) seenCount = 0;  // a new tolerance band
        if (i >= kWatchCyclesFrom) {
            const FactorBits now{std::bit_cast<uint64_t>(r), std::bit_cast<uint64_t>(s)};
            const int watched = seenCount < kLongestCycle ? seenCount : kLongestCycle;
            for (int period = 1; period <= watched; ++period) {
                if (seen[(seenCount - period) % kLongestCycle] != now) continue;
                const int end = nextToleranceChange(i);
                i += period * ((end - i) / period);
                seenCount = 0;
                break;
            }
            if (i > kMaxBairstowSteps) break;
            seen[seenCount % kLongestCycle] = now;
            ++seenCount;
        }
        double dr = 0.0, ds = 0.0;
        bairstowCubicStep<ScalarOps>(a1, a2, a3, r, s, dr, ds);
        const double eps = toleranceOfStep(i);
        ++i;
        r = r + dr;
        s = s + ds;
        if (correctionEnds<ScalarOps>(dr, ds, eps)) break;
    }
}

// Divides a (monic, degree n) by x^2 + r x + s: b[0..n-2] is the quotient, b[n-1]
// and b[n] the remainder terms.
void divideByQuadratic(const double* a, int n, const double* trial, double* b) {
    if (n < 0) return;
    const double s = trial[kTrialS], r = trial[kTrialR];
    b[0] = 1.0;
    if (n >= 1) b[1] = a[1] - r;
    for (int k = 2; k <= n; ++k) b[k] = a[k] - r * b[k - 1] - s * b[k - 2];
}

// Bairstow's iteration on the trial factor of a (monic, degree 3 up): at least one
// step, at most 500; stops when the correction is within the tolerance or is not a
// number. Without convergence the last factor stands. Other degrees leave the
// trial unchanged.
void refineQuadraticFactor(const double* a, int n, double* trial) {
    using namespace steps;
    if (n < 3 || n > kMaxPolynomialDegree) return;
    if (n == 3) {
        steps::refineCubicFactor(a[1], a[2], a[3], trial[kTrialR], trial[kTrialS], 1);
        return;
    }
    double factor[2] = {trial[kTrialS], trial[kTrialR]};
    double& s = factor[kTrialS];
    double& r = factor[kTrialR];
    Sequence b{}, d{};
    for (int i = 1; i <= kMaxBairstowSteps;) {
        const double eps = toleranceOfStep(i);
        divideByQuadratic(a, n, factor, b.data());
        divideByQuadratic(b.data(), n - 1, factor, d.data());
        double det = d[n - 1] * d[n - 3] - d[n - 2] * d[n - 2];
        // A nearly singular Jacobian would make the step huge or infinite.
        if (std::fabs(det) < kSingularDeterminant)
            det = det < 0.0 ? -kDeterminantFloor : kDeterminantFloor;
        const double dr = (d[n - 3] * b[n] - b[n - 1] * d[n - 2]) / det;
        const double ds = (d[n - 1] * b[n - 1] - b[n] * d[n - 2]) / det;
        ++i;
        r = r + dr;
        s = s + ds;
        if (correctionEnds<ScalarOps>(dr, ds, eps)) break;
    }
    trial[kTrialS] = s;
    trial[kTrialR] = r;
}

// Normalises a in place (leading coefficient 1) and fills factors: the first
// quadratic factor found as (r, s) at n-2, n-1, the next at n-4, n-3, and so on;
// the rest is a quadratic at 0, 1 or a linear factor's constant at 0. Degrees 1
// and 2 only copy the normalised coefficients. trial holds the first factor's start
// and afterwards the last refined factor. Degrees outside 1..kMaxPolynomialDegree
// change nothing.
void findQuadraticFactors(double* a, int n, double* trial, double* factors) {
    if (!validDegree(n)) return;
    if (a[0] != 1.0) {
        // A zero leading coefficient turns every coefficient into an infinity or
        // NaN, and every root into NaN.
        for (int k = 1; k <= n; ++k) a[k] = quotient(a[k], a[0]);
        a[0] = 1.0;
    }
    if (n == 2) {
        factors[0] = a[1];
        factors[1] = a[2];
        return;
    }
    if (n == 1) {
        factors[0] = a[1];
        return;
    }
    Sequence w{}, b{};
    for (int k = 0; k <= n; ++k) w[k] = a[k];
    for (int k = 0; k < n; ++k) factors[k] = 0.0;
    int deg = n;
    while (true) {
        refineQuadraticFactor(w.data(), deg, trial);
        divideByQuadratic(w.data(), deg, trial, b.data());
        factors[deg - 2] = trial[kTrialR];
        factors[deg - 1] = trial[kTrialS];
        deg -= 2;
        for (int k = 0; k <= deg; ++k) w[k] = b[k];
        if (deg <= 2) break;
        trial[kTrialS] = kLaterTrialS;
        trial[kTrialR] = kLaterTrialR;
    }
    if (deg == 2) {
        factors[0] = w[1];
        factors[1] = w[2];
    } else {
        factors[0] = w[1];
    }
}

// Roots of every factor of the list, aligned with it: re and im at k, k+1 for the
// pair at k, k+1; the linear factor's root at 0. Returns how many it found: a pair
// with r = s = 0 yields two zero roots but adds nothing to the count.
int solveQuadraticFactors(const double* factors, int n, double* re, double* im) {
    int count = 0;
    for (int k = n - 2; k >= 0; k -= 2) {
        const double r = factors[k], s = factors[k + 1];
        const double c = r * -0.5;
        double e = c * c - s;
        const double scale = std::fabs(c * c) + std::fabs(s);
        // Relative to its terms, a discriminant this small is rounding noise: a
        // double root. (scale 0 means r = s = 0, handled as q = 0 below.)
        if (scale != 0.0 && std::fabs(e) / scale <= kDoubleRootRatio) e = 0.0;
        if (e < 0.0) {
            const double root = std::sqrt(-e);
            re[k] = re[k + 1] = c;
            im[k] = root;
            im[k + 1] = -root;
            count += 2;
            continue;
        }
        // |q| = |c| + sqrt(e): no cancellation; the other root is s / q.
        const double q = c >= 0.0 ? c + std::sqrt(e) : c - std::sqrt(e);
        re[k] = q;
        im[k] = im[k + 1] = 0.0;
        if (q != 0.0) {
            re[k + 1] = s / q;
            count += 2;
        } else {
            re[k + 1] = 0.0;
        }
    }
    if (n >= 1 && n % 2 == 1) {
        re[0] = -factors[0];
        im[0] = 0.0;
        count += 1;
    }
    return count;
}

namespace {

// The cubic of a segment's coordinate minus target, highest power first. The
// constant term is the start value p1 (which c0 equals) minus target, in double.
void fillSegmentCubic(double a[4], float target, const CatmullRomCoefficients& c) {
    a[0] = c.c3;
    a[1] = c.c2;
    a[2] = c.c1;
    a[3] = static_cast<double>(c.c0) - target;
}

// A root of exactly 0 + 0i leaves its slot as the caller set it.
void writeRootSlots(float roots[3], const double re[3], const double im[3]) {
    for (int i = 0; i < 3; ++i)
        if (re[i] != 0.0 || im[i] != 0.0) roots[i] = static_cast<float>(re[i]);
}

void solveSegmentCubic(float roots[3], float target, const CatmullRomCoefficients& c) {
    double a[4];
    fillSegmentCubic(a, target, c);
    double trial[2] = {};
    trial[kTrialS] = steps::kCubicTrialS;
    trial[kTrialR] = steps::kCubicTrialR;
    double factors[3] = {}, re[3] = {}, im[3] = {};
    findQuadraticFactors(a, 3, trial, factors);
    solveQuadraticFactors(factors, 3, re, im);
    writeRootSlots(roots, re, im);
}

}  // namespace

// After the refinement findQuadraticFactors divides the cubic by the factor: the
// quotient x + (a1 - r) is the linear factor, stored at position 0.
void steps::cubicRootSlots(float roots[3], double a1, double r, double s) {
    const double factors[3] = {a1 - r, r, s};
    double re[3] = {}, im[3] = {};
    solveQuadraticFactors(factors, 3, re, im);
    writeRootSlots(roots, re, im);
}

void solveCatmullRomCubic(float roots[3], float target, float p0, float p1, float p2, float p3) {
    solveSegmentCubic(roots, target, catmullRomCoefficients(p0, p1, p2, p3));
}

// The cubic of a segment whose four values are evenly spaced has no cubic term, so
// the cubic solver's normalisation leaves every slot NaN and such a segment would
// never reach any target. The morph engine asks this instead: the cubic's roots,
// or when they are all NaN for want of a cubic term, the roots of the quadratic or
// the line that remains, found by the same factor solver.
void solveCatmullRomSegment(float roots[3], float target, const CatmullRomCoefficients& c) {
    if (c.c3 == 0.0f && c.c2 == 0.0f) {
        // Normalising by the zero leading coefficient makes the x^2 coefficient 0/0,
        // a NaN that every step of the cubic's solution carries into every slot; the
        // cubic is not solved for that (level 3's crossing numbers run along such
        // segments, one search in two).
        roots[0] = roots[1] = roots[2] = std::numeric_limits<float>::quiet_NaN();
    } else {
        solveSegmentCubic(roots, target, c);
    }
    const bool allNaN = std::isnan(roots[0]) && std::isnan(roots[1]) && std::isnan(roots[2]);
    if (!allNaN || c.c3 != 0.0f) return;
    const double constant = static_cast<double>(c.c0) - target;
    double a[3] = {c.c2, c.c1, constant};
    double trial[2] = {};
    double factors[2] = {}, re[2] = {}, im[2] = {};
    int degree = 2;
    if (c.c2 == 0.0f) {  // a line, or a constant that reaches nothing
        if (c.c1 == 0.0f) return;
        a[0] = c.c1;
        a[1] = constant;
        degree = 1;
    }
    roots[0] = roots[1] = roots[2] = -1.0f;
    findQuadraticFactors(a, degree, trial, factors);
    solveQuadraticFactors(factors, degree, re, im);
    for (int i = 0; i < degree; ++i) {
        if (im[i] == 0.0 && std::isfinite(re[i]) && std::fabs(re[i]) < kLargestRoot)
            roots[i] = static_cast<float>(re[i]);
    }
}

void solveCatmullRomSegment(float roots[3], float target, float p0, float p1, float p2, float p3) {
    solveCatmullRomSegment(roots, target, catmullRomCoefficients(p0, p1, p2, p3));
}

}  // namespace mw
