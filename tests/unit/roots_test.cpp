// Polynomial roots: the Catmull-Rom cubic's candidate parameters and the general
// Bairstow routines beneath it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class RootsTest : public testfixtures::CleanProgram {};

constexpr double kThreeDecimals = 0.0005;

std::array<float, 3> solve(float target, float p0, float p1, float p2, float p3) {
    std::array<float, 3> roots = {-1.0f, -1.0f, -1.0f};
    solveCatmullRomCubic(roots.data(), target, p0, p1, p2, p3);
    return roots;
}

// First slot in [0, 1], as the crossing search takes it; -1 for none.
float firstAccepted(const std::array<float, 3>& roots) {
    for (const float r : roots)
        if (r >= 0.0f && r <= 1.0f) return r;
    return -1.0f;
}

// The segment 480, 420, 280, 230 falls from 420 to 280; its cubic is
// 85 t^3 - 125 t^2 - 100 t + (420 - target).
TEST_F(RootsTest, WorkedCubicRootsSlotBySlot) {
    const struct {
        float target;
        double slots[3];
        float accepted;
    } cases[] = {
        {390, {1.976, -0.745, 0.240}, 0.240f},
        {350, {1.865, -0.890, 0.496}, 0.496f},
        {310, {1.717, -1.000, 0.754}, 0.754f},
        {260, {-1.112, 1.291, 1.291}, -1.0f},  // complex pair: its real part twice
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const std::array<float, 3> roots = solve(c.target, 480, 420, 280, 230);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(roots[i], c.slots[i], kThreeDecimals) << i;
        const float t = firstAccepted(roots);
        EXPECT_NEAR(t, c.accepted, kThreeDecimals);
        if (t >= 0.0f) {
            EXPECT_NEAR(catmullRomValue(t, 480, 420, 280, 230), c.target, 1e-3);
        }
    }
}

TEST_F(RootsTest, ComplexPairOfWorkedCubic) {
    double a[4] = {85, -125, -100, 420 - 260};
    double trial[2] = {0.271828, 0.314159};
    double factors[3], re[3], im[3];
    findQuadraticFactors(a, 3, trial, factors);
    EXPECT_EQ(solveQuadraticFactors(factors, 3, re, im), 3);
    EXPECT_NEAR(re[0], -1.112, kThreeDecimals);
    EXPECT_EQ(im[0], 0.0);
    EXPECT_NEAR(re[1], 1.291, kThreeDecimals);
    EXPECT_NEAR(re[2], 1.291, kThreeDecimals);
    EXPECT_NEAR(im[1], 0.163, kThreeDecimals);
    EXPECT_EQ(im[2], -im[1]);
}

// The root at t = 0 comes out as a tiny negative number, which is written and
// which the acceptance test rejects.
TEST_F(RootsTest, TargetOnSecondPointGivesTinyNegativeRoot) {
    const std::array<float, 3> roots = solve(420, 480, 420, 280, 230);
    EXPECT_NEAR(roots[0], 2.046, kThreeDecimals);
    EXPECT_NEAR(roots[1], -0.575, kThreeDecimals);
    EXPECT_LT(roots[2], -1.2e-39f);
    EXPECT_GT(roots[2], -1.4e-39f);
    EXPECT_EQ(firstAccepted(roots), -1.0f);
}

// 0, 0, 0, 2 at target 0 is t^3 - t^2: the double root 0 comes out as exactly
// 0 + 0i and is not written.
TEST_F(RootsTest, ExactZeroRootLeavesSlotAsCallerSetIt) {
    std::array<float, 3> roots = {-1.0f, -1.0f, -1.0f};
    solveCatmullRomCubic(roots.data(), 0, 0, 0, 0, 2);
    EXPECT_EQ(roots[0], 1.0f);
    EXPECT_EQ(roots[1], -1.0f);
    EXPECT_EQ(roots[2], -1.0f);
    roots = {7.0f, 8.0f, 9.0f};
    solveCatmullRomCubic(roots.data(), 0, 0, 0, 0, 2);
    EXPECT_EQ(roots[1], 8.0f);
    EXPECT_EQ(roots[2], 9.0f);
}

// A zero cubic coefficient divides by zero in the normalisation: every slot NaN.
TEST_F(RootsTest, ZeroCubicCoefficientGivesNaNInEverySlot) {
    const struct {
        float p0, p1, p2, p3;
    } segments[] = {{500, 400, 300, 200}, {0, 100, 400, 900}, {0, 10, 20, 30}};
    const float targets[] = {0, 100, 250, 333, 400, 450, 1e6f};
    for (const auto& s : segments) {
        for (const float target : targets) {
            SCOPED_TRACE(testing::Message() << s.p0 << " " << s.p1 << " " << s.p2 << " " << s.p3
                                            << " target " << target);
            const std::array<float, 3> roots = solve(target, s.p0, s.p1, s.p2, s.p3);
            for (const float r : roots) EXPECT_TRUE(std::isnan(r)) << r;
            EXPECT_EQ(firstAccepted(roots), -1.0f);
        }
    }
}

TEST_F(RootsTest, DegreeOneAndTwoCopyNormalisedCoefficientsWithoutIterating) {
    {
        double a[2] = {2, -6};
        double trial[2] = {0.25, 0.5};
        double factors[1] = {99}, re[1], im[1];
        findQuadraticFactors(a, 1, trial, factors);
        EXPECT_EQ(a[0], 1.0);
        EXPECT_EQ(a[1], -3.0);
        EXPECT_EQ(factors[0], -3.0);
        EXPECT_EQ(trial[0], 0.25);
        EXPECT_EQ(trial[1], 0.5);
        EXPECT_EQ(solveQuadraticFactors(factors, 1, re, im), 1);
        EXPECT_EQ(re[0], 3.0);
        EXPECT_EQ(im[0], 0.0);
    }
    {
        double a[3] = {2, -6, 4};  // 2 (x - 1)(x - 2)
        double trial[2] = {0.25, 0.5};
        double factors[2], re[2], im[2];
        findQuadraticFactors(a, 2, trial, factors);
        EXPECT_EQ(factors[0], -3.0);
        EXPECT_EQ(factors[1], 2.0);
        EXPECT_EQ(trial[0], 0.25);
        EXPECT_EQ(trial[1], 0.5);
        EXPECT_EQ(solveQuadraticFactors(factors, 2, re, im), 2);
        EXPECT_EQ(re[0], 2.0);  // larger magnitude first
        EXPECT_EQ(re[1], 1.0);
        EXPECT_EQ(im[0], 0.0);
        EXPECT_EQ(im[1], 0.0);
    }
}

TEST_F(RootsTest, QuadraticFactorRootsTable) {
    const struct {
        const char* name;
        double r, s;
        double re0, re1, im0, im1;
        int count;
    } cases[] = {
        {"x^2 + 0x + 0", 0, 0, 0, 0, 0, 0, 0},
        {"x^2 - 1", 0, -1, 1, -1, 0, 0, 2},  // c = -0 counts as c >= 0: q = c + 1
        {"x^2 + 1", 0, 1, 0, 0, 1, -1, 2},
        {"(x - 3)^2", -6, 9, 3, 3, 0, 0, 2},
        {"(x + 1e8)(x + 1e-8)", 1e8 + 1e-8, 1, -1e8, -1e-8, 0, 0, 2},
        {"x^2 - 2x + 5", -2, 5, 1, 1, 2, -2, 2},
        {"x (x - 4)", -4, 0, 4, 0, 0, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double factors[2] = {c.r, c.s};
        double re[2] = {99, 99}, im[2] = {99, 99};
        EXPECT_EQ(solveQuadraticFactors(factors, 2, re, im), c.count);
        EXPECT_DOUBLE_EQ(re[0], c.re0);
        EXPECT_DOUBLE_EQ(re[1], c.re1);
        EXPECT_EQ(im[0], c.im0);
        EXPECT_EQ(im[1], c.im1);
    }
}

TEST_F(RootsTest, NormalisationLeavesMonicPolynomialUnchanged) {
    const double monic[4] = {1, 0.1, -0.7, 1e-300};
    double a[4] = {1, 0.1, -0.7, 1e-300};
    double trial[2] = {0.271828, 0.314159};
    double factors[3];
    findQuadraticFactors(a, 3, trial, factors);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(a[k], monic[k]) << k;

    double b[4] = {4, 2, 6, -1};
    findQuadraticFactors(b, 3, trial, factors);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], 0.5);
    EXPECT_EQ(b[2], 1.5);
    EXPECT_EQ(b[3], -0.25);
}

TEST_F(RootsTest, SyntheticDivisionGivesQuotientAndRemainder) {
    const double a[4] = {1, -6, 11, -6};  // (x - 1)(x - 2)(x - 3)
    const double byTwoThree[2] = {6, -5};  // s first: x^2 - 5x + 6
    double b[4];
    divideByQuadratic(a, 3, byTwoThree, b);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], -1.0);  // quotient x - 1
    EXPECT_EQ(b[2], 0.0);
    EXPECT_EQ(b[3], 0.0);
    const double byXSquared[2] = {0, 0};
    divideByQuadratic(a, 3, byXSquared, b);
    EXPECT_EQ(b[1], -6.0);  // quotient x - 6, remainder 11 x - 6
    EXPECT_EQ(b[2], 11.0);
    EXPECT_EQ(b[3], -6.0);
}

TEST_F(RootsTest, BairstowConvergesOntoAFactor) {
    const double a[4] = {1, -6, 11, -6};
    double trial[2] = {0.271828, 0.314159};
    refineQuadraticFactor(a, 3, trial);
    const double s = trial[0], r = trial[1];
    // x^2 + r x + s has two of the roots 1, 2, 3: s is their product, -r their sum.
    const bool found = (std::fabs(s - 2) < 1e-12 && std::fabs(r + 3) < 1e-12) ||
                       (std::fabs(s - 3) < 1e-12 && std::fabs(r + 4) < 1e-12) ||
                       (std::fabs(s - 6) < 1e-12 && std::fabs(r + 5) < 1e-12);
    EXPECT_TRUE(found) << "r " << r << " s " << s;
}

TEST_F(RootsTest, SingularJacobianGivesFiniteCorrection) {
    const double a[4] = {1, 0, 0, 1};  // x^3 + 1, from r = s = 0: determinant 0
    double trial[2] = {0, 0};
    refineQuadraticFactor(a, 3, trial);
    EXPECT_TRUE(std::isfinite(trial[0]));
    EXPECT_TRUE(std::isfinite(trial[1]));
}

TEST_F(RootsTest, NaNCorrectionStopsTheIteration) {
    const double nan = NAN;
    const double a[4] = {1, nan, 2, 3};
    double trial[2] = {0.271828, 0.314159};
    refineQuadraticFactor(a, 3, trial);
    EXPECT_TRUE(std::isnan(trial[0]));
    EXPECT_TRUE(std::isnan(trial[1]));
}

std::vector<double> sortedRoots(const double* re, const double* im, int n, bool imaginary) {
    std::vector<double> out;
    for (int k = 0; k < n; ++k) out.push_back(imaginary ? im[k] : re[k]);
    std::sort(out.begin(), out.end());
    return out;
}

// Degree 5 reaches the second factor, which starts from the fixed later trial.
// Bairstow's iteration as the step-by-step rule states it, for degree 3: every step
// taken, none skipped. Returns the number of steps.
int refineStepByStep(const double a[4], double& r, double& s) {
    double eps = 1e-15;
    int i = 1;
    while (i <= 500) {
        if (i % 200 == 0) eps = eps * 10.0;
        const double b1 = a[1] - r, b2 = a[2] - r * b1 - s * 1.0, b3 = a[3] - r * b2 - s * b1;
        const double d1 = b1 - r, d2 = b2 - r * d1 - s * 1.0;
        double det = d2 * 1.0 - d1 * d1;
        if (std::fabs(det) < 1e-10) det = det < 0.0 ? -1e-8 : 1e-8;
        const double dr = (1.0 * b3 - b2 * d1) / det;
        const double ds = (d2 * b2 - b3 * d1) / det;
        ++i;
        r = r + dr;
        s = s + ds;
        const double step = std::fabs(dr) + std::fabs(ds);
        if (step <= eps || std::isnan(step)) break;
    }
    return i - 1;
}

// Some cubics settle on a factor (or a short cycle of factors) that never meets the
// tolerance until it widens at step 200 or 400; the steps in between are skipped.
// On cubics of random segments, many of them such, the factor comes out bit for bit
// as taking every step gives it.
TEST_F(RootsTest, SkippingRepeatedStepsChangesNoFactor) {
    uint64_t seed = 99;
    auto next = [&seed] {  // uniform in [0, 1)
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<float>(static_cast<double>(seed >> 11) * 0x1p-53);
    };
    int slow = 0;
    for (int n = 0; n < 30000; ++n) {
        const float p0 = next() * 300, p1 = p0 + next() * 60, p2 = p1 + next() * 60;
        const float p3 = p2 + next() * 60, target = p1 + (p2 - p1) * next();
        const CatmullRomCoefficients c = catmullRomCoefficients(p0, p1, p2, p3);
        if (c.c3 == 0.0f) continue;
        const double lead = c.c3;
        const double a[4] = {1.0, c.c2 / lead, c.c1 / lead,
                             (static_cast<double>(c.c0) - target) / lead};
        double trial[2] = {0.271828, 0.314159};  // s, r
        refineQuadraticFactor(a, 3, trial);
        double r = 0.314159, s = 0.271828;
        slow += refineStepByStep(a, r, s) >= 200;
        ASSERT_EQ(std::bit_cast<uint64_t>(trial[1]), std::bit_cast<uint64_t>(r)) << n;
        ASSERT_EQ(std::bit_cast<uint64_t>(trial[0]), std::bit_cast<uint64_t>(s)) << n;
    }
    EXPECT_GT(slow, 100);  // the skipping was put to the test
}

TEST_F(RootsTest, QuinticSplitsIntoTwoQuadraticsAndALinearFactor) {
    double a[6] = {2, -30, 170, -450, 548, -240};  // 2 (x - 1)(x - 2)(x - 3)(x - 4)(x - 5)
    double trial[2] = {0.271828, 0.314159};
    double factors[5], re[5], im[5];
    findQuadraticFactors(a, 5, trial, factors);
    EXPECT_EQ(solveQuadraticFactors(factors, 5, re, im), 5);
    const std::vector<double> roots = sortedRoots(re, im, 5, false);
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(roots[k], k + 1, 1e-9) << k;
    for (int k = 0; k < 5; ++k) EXPECT_EQ(im[k], 0.0) << k;
    // Each pair's roots satisfy its own factor: (r, s) at positions 3, 4 and 1, 2.
    for (const int k : {3, 1}) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(re[k] + re[k + 1], -factors[k], 1e-9);
        EXPECT_NEAR(re[k] * re[k + 1], factors[k + 1], 1e-9);
    }
    EXPECT_EQ(re[0], -factors[0]);
}

// (x^2 + 1)(x^2 + 2)...(x^2 + 8): the largest degree the working arrays hold.
TEST_F(RootsTest, LargestDegreeFindsEveryRoot) {
    double a[kMaxPolynomialDegree + 1] = {1};
    int deg = 0;
    for (int k = 1; k <= 8; ++k) {
        for (int i = deg + 2; i >= 2; --i) a[i] += k * a[i - 2];
        deg += 2;
    }
    ASSERT_EQ(deg, kMaxPolynomialDegree);
    double trial[2] = {0.271828, 0.314159};
    double factors[kMaxPolynomialDegree], re[kMaxPolynomialDegree], im[kMaxPolynomialDegree];
    findQuadraticFactors(a, kMaxPolynomialDegree, trial, factors);
    EXPECT_EQ(solveQuadraticFactors(factors, kMaxPolynomialDegree, re, im), 16);
    const std::vector<double> imag = sortedRoots(re, im, kMaxPolynomialDegree, true);
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE(k);
        EXPECT_NEAR(imag[8 - k], -std::sqrt(k), 1e-9);
        EXPECT_NEAR(imag[7 + k], std::sqrt(k), 1e-9);
    }
    for (int k = 0; k < kMaxPolynomialDegree; ++k) EXPECT_NEAR(re[k], 0.0, 1e-9) << k;
}

TEST_F(RootsTest, DegreeOutsideWorkingArraysChangesNothing) {
    double a[kMaxPolynomialDegree + 2] = {};
    for (double& x : a) x = 3;
    double trial[2] = {0.5, 0.25};
    double factors[kMaxPolynomialDegree + 1];
    for (double& f : factors) f = 42;
    for (const int n : {0, -1, kMaxPolynomialDegree + 1}) {
        SCOPED_TRACE(n);
        findQuadraticFactors(a, n, trial, factors);
        refineQuadraticFactor(a, n, trial);
        EXPECT_EQ(a[0], 3.0);
        EXPECT_EQ(trial[0], 0.5);
        EXPECT_EQ(trial[1], 0.25);
        for (const double f : factors) EXPECT_EQ(f, 42.0);
    }
}

TEST_F(RootsTest, EvenlySpacedSegmentsAreSolvedAsTheLineOrQuadraticThatRemains) {
    struct Case {
        float p0, p1, p2, p3, target, expected;
    };
    const Case cases[] = {
        {500, 400, 300, 200, 333, 0.67f},  // a falling line: t = (400 - 333) / 100
        {0, 10, 20, 30, 10, 0.0f},         // the start point itself
        {0, 100, 400, 900, 225, 0.5f},     // no cubic term: 100 (t + 1)^2 = 225
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.target);
        float roots[3] = {-1.0f, -1.0f, -1.0f};
        solveCatmullRomSegment(roots, k.target, k.p0, k.p1, k.p2, k.p3);
        const float* hit = std::find_if(roots, roots + 3, [](float t) { return t >= 0 && t <= 1; });
        ASSERT_NE(hit, roots + 3);
        EXPECT_NEAR(*hit, k.expected, 1e-6f);
        EXPECT_NEAR(catmullRomValue(*hit, k.p0, k.p1, k.p2, k.p3), k.target, 1e-3f);
    }
    // A constant segment reaches nothing; a real cubic is left to the cubic solver.
    float flat[3] = {-1.0f, -1.0f, -1.0f};
    solveCatmullRomSegment(flat, 5, 7, 7, 7, 7);
    for (float t : flat) EXPECT_FALSE(t >= 0 && t <= 1);
    float cubic[3] = {-1.0f, -1.0f, -1.0f}, viaSegment[3] = {-1.0f, -1.0f, -1.0f};
    solveCatmullRomCubic(cubic, 390, 480, 420, 280, 230);
    solveCatmullRomSegment(viaSegment, 390, 480, 420, 280, 230);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cubic[i], viaSegment[i]);
}

}  // namespace
}  // namespace mw
