// Parameter search by bisection: results and the number of segment evaluations.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class BisectionTest : public testfixtures::CleanProgram {};

// catmullRomValue on one segment, counting its calls.
struct CountedSegment {
    float p0, p1, p2, p3;
    int calls = 0;
    float operator()(float t) {
        ++calls;
        return catmullRomValue(t, p0, p1, p2, p3);
    }
};

struct SearchCase {
    const char* name;
    char mode;
    float tolerance, low, high, target;
    float p0, p1, p2, p3;
    float result;
    int evaluations;
};

void expectSearch(const SearchCase& c) {
    SCOPED_TRACE(c.name);
    CountedSegment segment{c.p0, c.p1, c.p2, c.p3};
    const float found = bisectWith(segment, c.mode, c.tolerance, c.low, c.high, c.target);
    EXPECT_EQ(found, c.result);
    EXPECT_EQ(segment.calls, c.evaluations);
    EXPECT_EQ(
        bisectCurveParameter(c.mode, c.tolerance, c.low, c.high, c.target, c.p0, c.p1, c.p2, c.p3),
        c.result);
}

// 500, 400, 300, 200 falls from 400 at t = 0 to 300 at t = 1, as 400 - 100 t.
TEST_F(BisectionTest, WorkedSearchesOnStraightSegments) {
    const SearchCase cases[] = {
        // 1/2, 3/4, 5/8, 11/16, 21/32, 43/64: 332.8125 is within 1 of 333.
        {"falling, target 333", 'v', 1.0f, 0, 1, 333, 500, 400, 300, 200, 43.0f / 64, 6},
        {"rising, mode h", 'h', 1.0f, 0, 1, 333, 200, 300, 400, 500, 21.0f / 64, 6},
        {"rising, mode n", 'n', 1.0f, 0, 1, 333, 200, 300, 400, 500, 21.0f / 64, 6},
        {"rising, unknown mode follows h", 'x', 1.0f, 0, 1, 333, 200, 300, 400, 500, 21.0f / 64, 6},
        {"hit at the first midpoint", 'v', 1.0f, 0, 1, 350.5f, 500, 400, 300, 200, 0.5f, 1},
        {"hit at the first midpoint, rising", 'h', 0.001f, 0, 1, 350, 200, 300, 400, 500, 0.5f, 1},
        // low climbs to 1 - 2^-24; the 25th midpoint 1 - 2^-25 rounds onto high = 1
        // and closes the interval.
        {"below the segment", 'v', 1.0f, 0, 1, 50, 500, 400, 300, 200, -1.0f, 25},
        // high falls through the subnormals; the 150th midpoint 2^-150 rounds to 0.
        {"above the segment", 'v', 1.0f, 0, 1, 450, 500, 400, 300, 200, -1.0f, 150},
        {"falling segment searched as rising", 'h', 1.0f, 0, 1, 333, 500, 400, 300, 200, -1.0f,
         150},
        {"empty interval", 'v', 1.0f, 0.5f, 0.5f, 350, 500, 400, 300, 200, -1.0f, 0},
        {"reversed interval", 'h', 1.0f, 1, 0, 350, 200, 300, 400, 500, -1.0f, 0},
    };
    for (const SearchCase& c : cases) expectSearch(c);
}

TEST_F(BisectionTest, ToleranceTestIsStrict) {
    // 350 at t = 0.5: a target exactly one tolerance away is not a hit there.
    CountedSegment segment{500, 400, 300, 200};
    const float found = bisectWith(segment, 'v', 1.0f, 0, 1, 351);
    EXPECT_NE(found, 0.5f);
    EXPECT_GT(segment.calls, 1);
    EXPECT_NEAR(catmullRomValue(found, 500, 400, 300, 200), 351, 1.0);
}

// Inputs on which no end of the interval would ever move end the search with -1
// instead of looping for ever.
TEST_F(BisectionTest, IterationThatMovesNoEndEndsWithMinusOne) {
    const float nan = NAN, inf = INFINITY;
    const SearchCase cases[] = {
        {"zero tolerance, value on target", 'v', 0.0f, 0, 1, 350, 500, 400, 300, 200, -1.0f, 1},
        {"negative tolerance", 'v', -1.0f, 0, 1, 350, 500, 400, 300, 200, -1.0f, 1},
        {"NaN target", 'v', 1.0f, 0, 1, nan, 500, 400, 300, 200, -1.0f, 1},
        {"NaN control value", 'h', 1.0f, 0, 1, 333, nan, 300, 400, 500, -1.0f, 1},
        {"infinite control value", 'h', 1.0f, 0, 1, 333, 200, 300, 400, inf, -1.0f, 1},
        {"NaN low", 'v', 1.0f, nan, 1, 350, 500, 400, 300, 200, -1.0f, 0},
    };
    for (const SearchCase& c : cases) expectSearch(c);
}

// The segment crosses 0 at t = 0.5 with a slope of 1e9, so neighbouring float
// parameters above 0.5 are 60 apart in value and a target of 7 is never within 1.
// The interval narrows to [0.5, 0.5 + 2^-24]; its midpoint rounds onto 0.5 = low,
// whose value (0) is below the target, so low would be set to itself.
TEST_F(BisectionTest, MidpointRoundingOntoAnEndEndsTheSearch) {
    CountedSegment segment{-1.5e9f, -0.5e9f, 0.5e9f, 1.5e9f};
    EXPECT_EQ(bisectWith(segment, 'h', 1.0f, 0, 1, 7), -1.0f);
    EXPECT_EQ(segment.calls, 25);
}

// The tolerances of the crossing search and of the curvilinear mapping on a curved
// segment (420 down to 280): the result always lies within tolerance of the target.
TEST_F(BisectionTest, CurvedSegmentHitsWithinEachTolerance) {
    const float tolerances[] = {1.0f, 0.1f, 0.001f};
    for (const float tol : tolerances) {
        for (float target = 282; target < 419; target += 7.5f) {
            SCOPED_TRACE(testing::Message() << tol << " " << target);
            const float t = bisectCurveParameter('v', tol, 0, 1, target, 480, 420, 280, 230);
            ASSERT_GE(t, 0.0f);
            ASSERT_LE(t, 1.0f);
            const double v = catmullRomValue(t, 480, 420, 280, 230);
            EXPECT_TRUE(v + tol > target && v - tol < target);
        }
    }
}

// Giving up early must never change a result: on random segments, with targets
// just inside and just outside what each segment reaches, the search with the
// bound returns exactly what the plain search returns.
TEST_F(BisectionTest, GivingUpEarlyChangesNoResult) {
    uint64_t seed = 12345;
    auto next = [&seed] {  // uniform in [0, 1)
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(seed >> 11) * 0x1p-53;
    };
    int boundHeld = 0, found = 0;
    for (int n = 0; n < 4000; ++n) {
        const float scale = n % 4 == 0 ? 1e5f : 400.0f;
        const float p[4] = {static_cast<float>(next() * scale), static_cast<float>(next() * scale),
                            static_cast<float>(next() * scale), static_cast<float>(next() * scale)};
        const CatmullRomCoefficients c = catmullRomCoefficients(p[0], p[1], p[2], p[3]);
        float lo = p[1], hi = p[1];
        for (int k = 0; k <= 1000; ++k) {
            const float v = catmullRomAt(c, static_cast<float>(k) / 1000.0f);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        const float tolerance = (n % 3 == 0) ? 1.0f : (n % 3 == 1 ? 0.1f : 0.001f);
        const char mode = n % 2 ? 'v' : 'h';
        const float offsets[] = {-2.0f, -1.0f, -0.999f, 0.0f, 0.5f, 1.0f, 1.001f, 3.0f};
        for (float d : offsets) {
            for (float target : {hi + d * tolerance, lo - d * tolerance}) {
                CountedSegment plain{p[0], p[1], p[2], p[3]};
                const float expected = bisectWith(plain, mode, tolerance, 0, 1, target);
                ASSERT_EQ(bisectSegment(c, mode, tolerance, 0, 1, target), expected)
                    << p[0] << " " << p[1] << " " << p[2] << " " << p[3] << " " << target;
                boundHeld += segmentOutOfReach(c, tolerance, target);
                found += expected != -1.0f;
            }
        }
    }
    // Both kinds of search occurred: the test compares something.
    EXPECT_GT(boundHeld, 1000);
    EXPECT_GT(found, 1000);
}

}  // namespace
}  // namespace mw
