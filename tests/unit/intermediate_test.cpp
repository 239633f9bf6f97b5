// The intermediate net: positions and tangents between each left curve and its mirror.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class IntermediateTest : public testfixtures::CleanProgram {};

struct Point {
    float x, y;
};

void setPoint(int c, int j, Point p, Point tangent = {0, 0}) {
    store.controlPoints[slotOf(c, j)] = p.x;
    store.controlPoints[slotOf(c, j) + 1] = p.y;
    store.tangents[slotOf(c, j)] = tangent.x;
    store.tangents[slotOf(c, j) + 1] = tangent.y;
}

Point pointOf(int c, int j) {
    return {store.controlPoints[slotOf(c, j)], store.controlPoints[slotOf(c, j) + 1]};
}

Point tangentOf(int c, int j) {
    return {store.tangents[slotOf(c, j)], store.tangents[slotOf(c, j) + 1]};
}

// One left curve (0) of three points, its mirror (1) reshaped; intermediate curve 2.
void makeReshapedPair() {
    store.pointCount[0] = store.pointCount[1] = 3;
    const Point left[] = {{100, 450}, {120, 300}, {110, 150}};
    const Point right[] = {{950, 430}, {1000, 310}, {880, 160}};
    const Point leftTangents[] = {{2, -10}, {4, -20}, {-6, 8}};
    const Point rightTangents[] = {{6, -30}, {0, 20}, {2, 0}};
    for (int j = 0; j < 3; ++j) {
        setPoint(0, j, left[j], leftTangents[j]);
        setPoint(1, j, right[j], rightTangents[j]);
    }
}

TEST_F(IntermediateTest, PointsRunFromShiftedLeftToShiftedRight) {
    struct Case {
        float t;
        std::vector<Point> points;
        std::vector<Point> tangents;
    };
    const Case cases[] = {
        {0.0f, {{500, 450}, {520, 300}, {510, 150}}, {{2, -10}, {4, -20}, {-6, 8}}},
        {1.0f, {{550, 430}, {600, 310}, {480, 160}}, {{6, -30}, {0, 20}, {2, 0}}},
        // Midpoints of the left and right points (not shifted), average tangents.
        {0.5f, {{525, 440}, {560, 305}, {495, 155}}, {{4, -20}, {2, 0}, {-2, 4}}},
        {0.25f, {{512.5f, 445}, {540, 302.5f}, {502.5f, 152.5f}}, {{3, -15}, {3, -10}, {-4, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        makeReshapedPair();
        state.morphT = c.t;
        buildIntermediateCurves();
        ASSERT_EQ(store.pointCount[2], 3);
        for (int j = 0; j < 3; ++j) {
            SCOPED_TRACE(j);
            EXPECT_EQ(pointOf(2, j).x, c.points[j].x);
            EXPECT_EQ(pointOf(2, j).y, c.points[j].y);
            EXPECT_EQ(tangentOf(2, j).x, c.tangents[j].x);
            EXPECT_EQ(tangentOf(2, j).y, c.tangents[j].y);
        }
    }
}

TEST_F(IntermediateTest, UnmovedRightPointStaysAtLeftPlus400ForEveryT) {
    store.pointCount[0] = store.pointCount[1] = 3;
    const Point left[] = {{57.25f, 499}, {233, 301.5f}, {399, 101}};
    for (int j = 0; j < 3; ++j) {
        setPoint(0, j, left[j]);
        setPoint(1, j, {left[j].x + 800, left[j].y});
    }
    for (float t : {0.0f, 0.01f, 0.3f, 0.5f, 0.77f, 0.99f, 1.0f}) {
        SCOPED_TRACE(t);
        state.morphT = t;
        buildIntermediateCurves();
        for (int j = 0; j < 3; ++j) {
            EXPECT_EQ(pointOf(2, j).x, left[j].x + 400);
            EXPECT_EQ(pointOf(2, j).y, left[j].y);
        }
    }
}

TEST_F(IntermediateTest, HalfSumAndDifferenceAreFloatsBeforeTheyAreCombined) {
    // Worked in full double precision this point lands one float step higher.
    store.pointCount[0] = store.pointCount[1] = 1;
    setPoint(0, 0, {0x1.cd2092p+4f, 200});
    setPoint(1, 0, {0x1.e3dfdcp+9f, 200});
    state.morphT = 0.3f;
    buildIntermediateCurves();
    EXPECT_EQ(pointOf(2, 0).x, 0x1.d67fbcp+8f);
}

TEST_F(IntermediateTest, LeadingPhantomIsInterpolatedAndTrailingOneLeftAlone) {
    makeReshapedPair();
    setPoint(0, -1, {90, 600});
    setPoint(1, -1, {930, 560});
    setPoint(2, 3, {-7, -7});  // trailing phantom slot of the intermediate curve
    state.morphT = 0.5f;
    buildIntermediateCurves();
    EXPECT_EQ(pointOf(2, -1).x, 510.0f);
    EXPECT_EQ(pointOf(2, -1).y, 580.0f);
    EXPECT_EQ(pointOf(2, 3).x, -7.0f);
    EXPECT_EQ(pointOf(2, 3).y, -7.0f);
}

TEST_F(IntermediateTest, EmptyCurveGetsItsLeadingPhantomOnly) {
    // A fresh store: one empty curve on each side, intermediate curve 2.
    setPoint(0, -1, {40, 300});
    setPoint(1, -1, {860, 320});
    setPoint(0, 0, {11, 11});  // stale slot of a removed point
    setPoint(1, 0, {22, 22});
    store.pointCount[2] = 5;  // left over from an earlier build
    state.morphT = 0.0f;
    buildIntermediateCurves();
    EXPECT_EQ(store.pointCount[2], 0);
    EXPECT_EQ(pointOf(2, -1).x, 440.0f);
    EXPECT_EQ(pointOf(2, -1).y, 300.0f);
    EXPECT_EQ(pointOf(2, 0).x, 0.0f);
    EXPECT_EQ(pointOf(2, 0).y, 0.0f);
}

TEST_F(IntermediateTest, EveryPairFeedsItsOwnIntermediateCurveAndFlagsStayUntouched) {
    // Four curves per bank: left 0..3, right 4..7, intermediate 8..11.
    store.curveCount = 8;
    store.curveCursor = 7;
    for (int i = 0; i < 4; ++i) {
        store.pointCount[i] = store.pointCount[i + 4] = i;  // 0, 1, 2, 3 points
        for (int j = 0; j < i; ++j) {
            setPoint(i, j, {100.0f + 10 * i, 400.0f - 50 * j});
            setPoint(i + 4, j, {900.0f + 10 * i, 420.0f - 50 * j}, {8, 8});
        }
    }
    store.tangentSet[slotOf(9, 0)] = 1;
    state.morphT = 1.0f;
    buildIntermediateCurves();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(store.pointCount[8 + i], i);
        for (int j = 0; j < i; ++j) {
            EXPECT_EQ(pointOf(8 + i, j).x, 500.0f + 10 * i);
            EXPECT_EQ(pointOf(8 + i, j).y, 420.0f - 50 * j);
            EXPECT_EQ(tangentOf(8 + i, j).x, 8.0f);
        }
    }
    EXPECT_EQ(store.tangentSet[slotOf(9, 0)], 1);
    EXPECT_EQ(store.tangentSet[slotOf(10, 0)], 0);
}

}  // namespace
}  // namespace mw
