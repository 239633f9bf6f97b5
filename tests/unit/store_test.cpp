// The curve store: appending, removal, opening the next curve pair and the
// capacity guards.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct Point {
    float x, y, tx, ty;
    int flag, spareFlag;
    bool operator==(const Point&) const = default;
};

Point pointAt(int c, int j) {
    const int s = slotOf(c, j);
    return {store.controlPoints[s], store.controlPoints[s + 1], store.tangents[s],
            store.tangents[s + 1],  store.tangentSet[s],        store.tangentSet[s + 1]};
}

void setTangent(int c, int j, float tx, float ty, uint8_t spare = 0) {
    const int s = slotOf(c, j);
    store.tangents[s] = tx;
    store.tangents[s + 1] = ty;
    store.tangentSet[s] = 1;
    store.tangentSet[s + 1] = spare;
}

std::vector<Point> curvePoints(int c) {
    std::vector<Point> points;
    for (int j = 0; j < store.pointCount[c]; ++j) points.push_back(pointAt(c, j));
    return points;
}

bool sameStore(const CurveStore& a, const CurveStore& b) {
    return a.curveCount == b.curveCount && a.curveCursor == b.curveCursor &&
           a.pointCount == b.pointCount && a.controlPoints == b.controlPoints &&
           a.tangents == b.tangents && a.tangentSet == b.tangentSet;
}

class StoreTest : public testfixtures::CleanProgram {};

TEST_F(StoreTest, ThreeVerticalAndThreeHorizontalCurvesGiveSevenPerBank) {
    // Vertical curves left to right, drawn downwards; horizontal ones bottom up,
    // drawn left to right; each ended before the next.
    for (int v = 0; v < 3; ++v) {
        for (int j = 0; j < 3; ++j) appendPointPair(100 + 100 * v, 450 - 150 * j);
        startNextCurve();
    }
    for (int h = 0; h < 3; ++h) {
        for (int j = 0; j < 3; ++j) appendPointPair(80 + 140 * j, 150 + 100 * h);
        startNextCurve();
    }
    EXPECT_EQ(store.curveCount, 14);
    EXPECT_EQ(store.curveCursor, 13);
    const int n = store.curveCount / 2;
    ASSERT_EQ(n, 7);  // curves 0..2 and 7..9 are vertical
    for (int c = 0; c < n; ++c) {
        SCOPED_TRACE("left curve " + std::to_string(c));
        const int expectedCount = c < 6 ? 3 : 0;
        EXPECT_EQ(store.pointCount[c], expectedCount);
        EXPECT_EQ(store.pointCount[c + n], expectedCount);
        for (int j = 0; j < store.pointCount[c]; ++j) {
            const Point left = pointAt(c, j);
            const float x = c < 3 ? 100.0f + 100 * c : 80.0f + 140 * j;
            const float y = c < 3 ? 450.0f - 150 * j : 150.0f + 100 * (c - 3);
            EXPECT_EQ(left, (Point{x, y, 0, 0, 0, 0}));
            EXPECT_EQ(pointAt(c + n, j), (Point{x + 800, y, 0, 0, 0, 0}));
        }
    }
}

TEST_F(StoreTest, AppendAfterCurvesWereOpenedMirrorsIntoTheCurrentRightCurve) {
    appendPointPair(100, 400);
    startNextCurve();
    appendPointPair(200, 400);
    startNextCurve();
    ASSERT_EQ(store.curveCursor, 5);
    // Stale contents in the slots about to be written must not survive.
    for (const int c : {2, 5}) {
        setTangent(c, 0, 9, 9, 1);
        store.controlPoints[slotOf(c, 0)] = -5;
    }
    appendPointPair(300, 250);

    EXPECT_EQ(pointAt(2, 0), (Point{300, 250, 0, 0, 0, 0}));
    EXPECT_EQ(slotOf(5, 0) - slotOf(2, 0), 1000 * store.curveCount / 2);
    EXPECT_EQ(pointAt(5, 0), (Point{1100, 250, 0, 0, 0, 0}));
    EXPECT_EQ(store.pointCount[2], 1);
    EXPECT_EQ(store.pointCount[5], 1);
    EXPECT_EQ(curvePoints(3), (std::vector<Point>{{900, 400, 0, 0, 0, 0}}));
    EXPECT_EQ(curvePoints(4), (std::vector<Point>{{1000, 400, 0, 0, 0, 0}}));
}

TEST_F(StoreTest, RemovalShiftsBothPartnersAndKeepsSetTangents) {
    // Left curve 1 and its mirror 3 with four points; every point carries its own
    // tangent so a shift that drops or mixes a field shows.
    appendPointPair(10, 10);
    startNextCurve();
    for (int j = 0; j < 4; ++j) appendPointPair(100 + j, 200 + j);
    for (int j = 0; j < 4; ++j) {
        setTangent(1, j, 1.0f + j, 2.0f + j, static_cast<uint8_t>(5 + j));
        setTangent(3, j, 11.0f + j, 12.0f + j, static_cast<uint8_t>(15 + j));
    }
    const std::vector<Point> left = curvePoints(1);
    const std::vector<Point> right = curvePoints(3);
    const std::vector<Point> untouched0 = curvePoints(0);
    const std::vector<Point> untouched2 = curvePoints(2);
    const std::unique_ptr<CurveStore> fresh = std::make_unique<CurveStore>(store);

    struct Case {
        int c, j;
    };
    for (const Case k : {Case{1, 1}, Case{3, 1}, Case{1, 0}, Case{1, 3}, Case{3, 3}}) {
        SCOPED_TRACE("remove curve " + std::to_string(k.c) + " point " + std::to_string(k.j));
        store = *fresh;
        removePointPair(k.c, k.j);

        std::vector<Point> expectedLeft = left;
        std::vector<Point> expectedRight = right;
        expectedLeft.erase(expectedLeft.begin() + k.j);
        expectedRight.erase(expectedRight.begin() + k.j);
        EXPECT_EQ(curvePoints(1), expectedLeft);
        EXPECT_EQ(curvePoints(3), expectedRight);
        // The pair that fell off the end keeps its contents.
        EXPECT_EQ(pointAt(1, 3), left[3]);
        EXPECT_EQ(pointAt(3, 3), right[3]);
        EXPECT_EQ(curvePoints(0), untouched0);
        EXPECT_EQ(curvePoints(2), untouched2);
        EXPECT_EQ(store.curveCount, 4);
    }
}

TEST_F(StoreTest, RemovingTheOnlyPointLeavesAnEmptyCurve) {
    appendPointPair(100, 200);
    removePointPair(1, 0);
    EXPECT_EQ(store.pointCount[0], 0);
    EXPECT_EQ(store.pointCount[1], 0);
    EXPECT_EQ(store.curveCount, 2);
}

TEST_F(StoreTest, OpeningTheNextCurveMovesTheRightBankUpIntact) {
    // Two finished curves of different lengths and a current one, with set
    // tangents on right points (including the meaningless second flag byte).
    const int lengths[] = {2, 5, 3};
    for (int c = 0; c < 3; ++c) {
        for (int j = 0; j < lengths[c]; ++j) appendPointPair(50 * c + j, 100 + 10 * j);
        if (c < 2) startNextCurve();
    }
    ASSERT_EQ(store.curveCount, 6);
    for (int c = 3; c < 6; ++c)
        setTangent(c, lengths[c - 3] - 1, 1.5f * c, -2.5f * c, static_cast<uint8_t>(c));
    std::vector<std::vector<Point>> before;
    for (int c = 0; c < 6; ++c) before.push_back(curvePoints(c));

    startNextCurve();

    EXPECT_EQ(store.curveCount, 8);
    EXPECT_EQ(store.curveCursor, 7);
    for (int c = 0; c < 3; ++c) {
        SCOPED_TRACE("left curve " + std::to_string(c));
        EXPECT_EQ(curvePoints(c), before[c]);
    }
    for (int c = 3; c < 6; ++c) {
        SCOPED_TRACE("right curve " + std::to_string(c) + " now " + std::to_string(c + 1));
        EXPECT_EQ(store.pointCount[c + 1], lengths[c - 3]);
        EXPECT_EQ(curvePoints(c + 1), before[c]);
    }
    EXPECT_EQ(store.pointCount[3], 0) << "new current left curve";
    EXPECT_EQ(store.pointCount[7], 0) << "new current right curve";

    appendPointPair(300, 300);
    EXPECT_EQ(curvePoints(3), (std::vector<Point>{{300, 300, 0, 0, 0, 0}}));
    EXPECT_EQ(curvePoints(7), (std::vector<Point>{{1100, 300, 0, 0, 0, 0}}));
}

TEST_F(StoreTest, OpeningTheNextCurveNeedsAPointInTheCurrentCurve) {
    startNextCurve();
    EXPECT_EQ(store.curveCount, 2);
    EXPECT_EQ(store.curveCursor, 1);
    appendPointPair(100, 100);
    removePointPair(0, 0);
    startNextCurve();
    EXPECT_EQ(store.curveCount, 2);
}

TEST_F(StoreTest, CapacityRefusalsLeaveTheStoreUnchanged) {
    // 498 points fill a curve's slots up to its trailing phantom pair.
    for (int j = 0; j < kMaxPointsPerCurve; ++j) appendPointPair(j, 2 * j);
    ASSERT_EQ(store.pointCount[0], 498);
    EXPECT_EQ(pointAt(1, 497).x, 497.0f + 800);
    auto before = std::make_unique<CurveStore>(store);
    appendPointPair(1, 1);
    EXPECT_TRUE(sameStore(store, *before)) << "a 499th point is refused";

    // Open curves up to 32 per bank, fill the current one and open the 33rd:
    // the right bank's move then reaches as high as it ever does.
    startNextCurve();
    while (store.curveCount / 2 < kMaxCurvesPerBank - 1) {
        appendPointPair(7, 7);
        startNextCurve();
    }
    for (int j = 0; j < kMaxPointsPerCurve; ++j) appendPointPair(1000 + j, 3);
    startNextCurve();
    ASSERT_EQ(store.curveCount, 66);
    EXPECT_EQ(store.pointCount[33], 498) << "mirror of the first curve";
    EXPECT_EQ(store.pointCount[64], 498) << "mirror of the last full curve";
    EXPECT_EQ(pointAt(64, 497), (Point{1497 + 800, 3, 0, 0, 0, 0}));
    EXPECT_EQ(curvePoints(34), (std::vector<Point>{{807, 7, 0, 0, 0, 0}}));
    appendPointPair(7, 7);
    before = std::make_unique<CurveStore>(store);
    startNextCurve();
    EXPECT_TRUE(sameStore(store, *before)) << "a 34th curve per bank is refused";
}

TEST_F(StoreTest, RemovalOutsideTheCountedPointsChangesNothing) {
    appendPointPair(100, 200);
    startNextCurve();
    appendPointPair(150, 250);
    const auto before = std::make_unique<CurveStore>(store);
    struct Case {
        int c, j;
    };
    for (const Case k : {Case{0, 1}, Case{0, -1}, Case{4, 0}, Case{-1, 0}, Case{99, 0}}) {
        SCOPED_TRACE("curve " + std::to_string(k.c) + " point " + std::to_string(k.j));
        removePointPair(k.c, k.j);
        EXPECT_TRUE(sameStore(store, *before));
    }
}

}  // namespace
}  // namespace mw
