// Crossings of the nets with scan lines: the search of one curve, the two lists of
// one scan line, and the points recorded for the overlay.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct Point {
    float x, y;
};

// The lists and records of the event thread's scratch.
WarpScratch& scratch() {
    return morph.scratch[0];
}

class CrossingsTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override {
        scratch().lists[0].sourceCrossings.fill(-1.0f);
        scratch().lists[0].morphCrossings.fill(-1.0f);
    }
};

Inversion inversion() {
    return state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
}

bool crossing(int c, float v, ScanPass pass, float& other) {
    return findCrossing(c, v, pass, inversion(), other);
}

// The lists of one scan line, recording the crossings for the overlay.
int lists(ScanPass pass, int line, int sourceFirst, int sourceEnd, int morphFirst, int morphEnd,
          int sourceLeft, int sourceRight, int morphLeft, int morphRight) {
    return buildCrossingLists(scratch(), pass, line, inversion(), true, sourceFirst, sourceEnd,
                              morphFirst, morphEnd, sourceLeft, sourceRight, morphLeft, morphRight);
}

// Curve c with the given points and explicit phantom points before and after them.
void setCurve(int c, const std::vector<Point>& points, Point leading, Point trailing) {
    store.pointCount[c] = static_cast<int>(points.size());
    store.controlPoints[slotOf(c, -1)] = leading.x;
    store.controlPoints[slotOf(c, -1) + 1] = leading.y;
    for (size_t j = 0; j < points.size(); ++j) {
        store.controlPoints[slotOf(c, static_cast<int>(j))] = points[j].x;
        store.controlPoints[slotOf(c, static_cast<int>(j)) + 1] = points[j].y;
    }
    const int n = static_cast<int>(points.size());
    store.controlPoints[slotOf(c, n)] = trailing.x;
    store.controlPoints[slotOf(c, n) + 1] = trailing.y;
}

// A vertical curve at constant x whose y falls unevenly from 480 to 230 (uneven, so
// the cubic of each segment has a leading coefficient and the roots can be found).
void setUnevenVertical(int c, float x) {
    setCurve(c, {{x, 480}, {x, 420}, {x, 280}, {x, 230}}, {x, 540}, {x, 180});
}

// The straight line from (0, 500) down to (500, 0), evenly paced, as curve c.
void setDiagonal(int c, const std::vector<Point>& points) {
    const Point first = points.front(), last = points.back();
    setCurve(c, points, {first.x - 100, first.y + 100}, {last.x + 100, last.y - 100});
}

std::vector<float> recorded() {
    return {scratch().recorded.begin(), scratch().recorded.begin() + scratch().recordedCount};
}

std::vector<float> listHead(const std::array<float, kCrossingListSize>& list, int n) {
    return {list.begin(), list.begin() + n + 1};
}

TEST_F(CrossingsTest, WithoutCurvesTheListsHoldOnlyTheBorders) {
    struct Case {
        const char* name;
        ScanPass pass;
        int sourceLeft, sourceRight;
        std::vector<float> source, target;
    };
    const Case cases[] = {
        {"left rows", ScanPass::Row, 50, 400, {50, 400, 400}, {450, 800, 800}},
        {"right rows", ScanPass::Row, 850, 1200, {850, 1200, 1200}, {450, 800, 800}},
        {"left columns", ScanPass::Column, 50, 400, {100, 500, 500}, {100, 500, 500}},
        {"right columns", ScanPass::Column, 850, 1200, {100, 500, 500}, {100, 500, 500}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Empty ranges, and ranges of curves without points (the open current curve).
        for (int end : {0, 1}) {
            const int n =
                lists(c.pass, 17, 0, end, 2, 2 + end, c.sourceLeft, c.sourceRight, 450, 800);
            EXPECT_EQ(n, 2);
            EXPECT_EQ(listHead(scratch().lists[0].sourceCrossings, n), c.source);
            EXPECT_EQ(listHead(scratch().lists[0].morphCrossings, n), c.target);
        }
    }
    EXPECT_EQ(scratch().recordedCount, 0);
}

TEST_F(CrossingsTest, ControlPointOnTheLineIsNotPastIt) {
    // Points (100, 400) .. (400, 100): on the line through a point, the search starts
    // with the segment that begins there, so bisection stops just after the point.
    setDiagonal(0, {{100, 400}, {200, 300}, {300, 200}, {400, 100}});
    float other = 0;
    ASSERT_TRUE(crossing(0, 300.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 200.78125f);  // t = 1/128 on the segment from (200, 300)
    ASSERT_TRUE(crossing(0, 200.0f, ScanPass::Column, other));
    EXPECT_EQ(other, 299.21875f);
    ASSERT_TRUE(crossing(0, 250.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 250.0f);
}

TEST_F(CrossingsTest, LineBeforeTheFirstPointUsesSegmentMinusOne) {
    // Segment -1 runs from the leading phantom (0, 500) to the first point; its
    // outer control point is the extrapolation (-100, 600), which keeps it straight.
    setDiagonal(0, {{100, 400}, {200, 300}, {300, 200}});
    float other = 0;
    ASSERT_TRUE(crossing(0, 450.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 50.0f);
    ASSERT_TRUE(crossing(0, 50.0f, ScanPass::Column, other));
    EXPECT_EQ(other, 450.0f);
}

TEST_F(CrossingsTest, LineBeyondEveryPointTriesEverySegment) {
    setDiagonal(0, {{100, 400}, {200, 300}, {300, 200}});
    float other = -5;
    EXPECT_FALSE(crossing(0, 150.0f, ScanPass::Row, other));
    EXPECT_FALSE(crossing(0, 350.0f, ScanPass::Column, other));
    EXPECT_EQ(other, -5.0f);
    // This curve dips to about 173 between its last two points (the trailing phantom
    // lies above them): a row at 175, below every point, is found on the last segment.
    setCurve(1, {{100, 400}, {100, 300}, {100, 200}, {100, 180}}, {100, 500}, {100, 300});
    ASSERT_TRUE(crossing(1, 175.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 100.0f);
}

TEST_F(CrossingsTest, CurvesWithFewerThanThreePointsNeverCross) {
    for (int count : {0, 1, 2}) {
        SCOPED_TRACE(count);
        setDiagonal(0, {{100, 400}, {200, 300}, {300, 200}});
        store.pointCount[0] = count;
        float other = 0;
        EXPECT_FALSE(crossing(0, 350.0f, ScanPass::Row, other));
        EXPECT_FALSE(crossing(0, 150.0f, ScanPass::Column, other));
    }
}

TEST_F(CrossingsTest, RootsFindTheCrossingInsideTheSegment) {
    state.useBinarySearch = false;
    setUnevenVertical(0, 120);
    float other = 0;
    ASSERT_TRUE(crossing(0, 390.0f, ScanPass::Row, other));  // t = 0.240
    EXPECT_EQ(other, 120.0f);
}

TEST_F(CrossingsTest, RootsFindCrossingsOfEvenlySpacedSegmentsLikeTheBisection) {
    // Evenly spaced values leave the cubic without a cubic term; the quadratic or
    // line that remains still gives the crossing.
    setDiagonal(1, {{100, 400}, {200, 300}, {300, 200}, {400, 100}});
    for (float row : {350.0f, 250.0f, 300.0f, 150.0f}) {
        SCOPED_TRACE(row);
        float byRoots = 0, byBisection = 0;
        state.useBinarySearch = false;
        ASSERT_TRUE(crossing(1, row, ScanPass::Row, byRoots));
        state.useBinarySearch = true;
        ASSERT_TRUE(crossing(1, row, ScanPass::Row, byBisection));
        EXPECT_NEAR(byRoots, 500.0f - row, 0.01f);
        EXPECT_NEAR(byBisection, byRoots, 1.0f);
    }
}

TEST_F(CrossingsTest, RootsAcceptTheEndsOfTheSegment) {
    state.useBinarySearch = false;
    // The last point lies on the row and nothing is below it: segment 1 reaches the
    // row at t = 1 exactly, where x is the last point's.
    setCurve(0, {{100, 480}, {120, 420}, {150, 280}}, {80, 540}, {170, 230});
    float other = 0;
    ASSERT_TRUE(crossing(0, 280.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 150.0f);
    // A row through a middle point: the segment that starts there reaches it at t = 0,
    // which the cubic gives only up to rounding; the crossing is the point itself.
    setCurve(1, {{100, 480}, {120, 420}, {150, 280}, {160, 230}}, {80, 540}, {170, 180});
    ASSERT_TRUE(crossing(1, 420.0f, ScanPass::Row, other));
    EXPECT_EQ(other, 120.0f);
}

TEST_F(CrossingsTest, ScanCoordinatesAreIntegerSteps) {
    struct Case {
        ScanPass pass;
        int line;
        int sourceLeft;
        std::vector<float> points;  // source crossing, then morph crossing
    };
    setCurve(0, {{200, 520}, {200, 300}, {200, 80}}, {200, 740}, {200, -140});
    setCurve(1, {{600, 520}, {600, 300}, {600, 80}}, {600, 740}, {600, -140});
    setCurve(2, {{30, 250}, {600, 250}, {1220, 250}}, {-540, 250}, {1790, 250});
    setCurve(3, {{430, 350}, {600, 350}, {820, 350}}, {260, 350}, {1040, 350});
    const Case cases[] = {
        {ScanPass::Row, 0, 50, {200, 100, 600, 100}},
        {ScanPass::Row, 292, 50, {200, 498, 600, 498}},
        {ScanPass::Row, 147, 850, {200, 300, 600, 300}},
        {ScanPass::Column, 0, 50, {50, 250, 450, 350}},
        {ScanPass::Column, 255, 50, {398, 250, 798, 350}},
        {ScanPass::Column, 255, 850, {1198, 250, 798, 350}},
        {ScanPass::Column, 128, 850, {1025, 250, 625, 350}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        scratch().recordedCount = 0;
        const bool row = c.pass == ScanPass::Row;
        lists(c.pass, c.line, row ? 0 : 2, row ? 1 : 3, row ? 1 : 3, row ? 2 : 4, c.sourceLeft,
              c.sourceLeft + 350, 450, 800);
        const std::vector<float> got = recorded();
        ASSERT_EQ(got.size(), 4u);
        // The crossing coordinate of a straight line comes within the bisection's tolerance.
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(got[k], c.points[k], 1.0) << k;
        EXPECT_EQ(got[row ? 1 : 0], c.points[row ? 1 : 0]);
        EXPECT_EQ(got[row ? 3 : 2], c.points[row ? 3 : 2]);
    }
}

TEST_F(CrossingsTest, ListsHoldTheCrossingsInCurveOrderBetweenTheBorders) {
    setUnevenVertical(0, 120);
    setUnevenVertical(1, 300);
    setUnevenVertical(2, 520);
    setUnevenVertical(3, 700);
    // Row 213 is y 390.
    const int n = lists(ScanPass::Row, 213, 0, 2, 2, 4, 50, 400, 450, 800);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(listHead(scratch().lists[0].sourceCrossings, n),
              (std::vector<float>{50, 120, 300, 400, 400}));
    EXPECT_EQ(listHead(scratch().lists[0].morphCrossings, n),
              (std::vector<float>{450, 520, 700, 800, 800}));
    // Source crossings first, then the morph panel's.
    EXPECT_EQ(recorded(), (std::vector<float>{120, 390, 300, 390, 520, 390, 700, 390}));
}

TEST_F(CrossingsTest, WithRootsOnlyMorphPanelCrossingsAreRecorded) {
    setUnevenVertical(0, 120);
    setUnevenVertical(1, 520);
    for (bool bisection : {true, false}) {
        SCOPED_TRACE(bisection);
        state.useBinarySearch = bisection;
        scratch().recordedCount = 0;
        const int n = lists(ScanPass::Row, 213, 0, 1, 1, 2, 50, 400, 450, 800);
        EXPECT_EQ(n, 3);
        EXPECT_EQ(scratch().lists[0].sourceCrossings[1], 120.0f);
        EXPECT_EQ(scratch().lists[0].morphCrossings[1], 520.0f);
        if (bisection)
            EXPECT_EQ(recorded(), (std::vector<float>{120, 390, 520, 390}));
        else
            EXPECT_EQ(recorded(), (std::vector<float>{520, 390}));
    }
}

TEST_F(CrossingsTest, CurveCrossingOnOneSideOnlyDropsOutOfBothLists) {
    // Pair 0: the source curve crosses row y 390, its partner stops above the row.
    // Pair 1: both cross. A third source curve has no partner in the shorter range.
    setUnevenVertical(0, 120);
    setUnevenVertical(1, 300);
    setUnevenVertical(2, 350);
    setCurve(3, {{520, 500}, {520, 470}, {520, 440}}, {520, 530}, {520, 410});
    setUnevenVertical(4, 700);
    const int n = lists(ScanPass::Row, 213, 0, 3, 3, 5, 50, 400, 450, 800);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(listHead(scratch().lists[0].sourceCrossings, n),
              (std::vector<float>{50, 300, 400, 400}));
    EXPECT_EQ(listHead(scratch().lists[0].morphCrossings, n),
              (std::vector<float>{450, 700, 800, 800}));
    // Every crossing found is still shown.
    EXPECT_EQ(recorded(), (std::vector<float>{120, 390, 300, 390, 350, 390, 700, 390}));

    // The morph range longer than the source range: the extra curve is only shown.
    setUnevenVertical(5, 760);
    scratch().recordedCount = 0;
    const int m = lists(ScanPass::Row, 213, 1, 2, 4, 6, 50, 400, 450, 800);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(listHead(scratch().lists[0].sourceCrossings, m),
              (std::vector<float>{50, 300, 400, 400}));
    EXPECT_EQ(listHead(scratch().lists[0].morphCrossings, m),
              (std::vector<float>{450, 700, 800, 800}));
    EXPECT_EQ(recorded(), (std::vector<float>{300, 390, 700, 390, 760, 390}));
}

TEST_F(CrossingsTest, ListsStayWithinTheirCapacity) {
    // Every curve number crossing the row: the lists keep 97 crossings and the borders.
    for (int c = 0; c < kCurveNumbers; ++c) setUnevenVertical(c, 200);
    const int n = lists(ScanPass::Row, 213, 0, kCurveNumbers, 0, kCurveNumbers, 50, 400, 450, 800);
    EXPECT_EQ(n, kCrossingListSize - 1);
    EXPECT_EQ(scratch().lists[0].sourceCrossings[n - 2], 200.0f);
    EXPECT_EQ(scratch().lists[0].sourceCrossings[n - 1], 400.0f);
    EXPECT_EQ(scratch().lists[0].sourceCrossings[n], 400.0f);
    EXPECT_EQ(scratch().lists[0].morphCrossings[n], 800.0f);
    EXPECT_EQ(scratch().recordedCount, 4 * kCurveNumbers);
    // Out-of-range curve numbers are skipped.
    EXPECT_EQ(lists(ScanPass::Row, 213, -5, 0, 100, 120, 50, 400, 450, 800), 2);
}

TEST_F(CrossingsTest, OverlayStopsAtItsCapacity) {
    setUnevenVertical(0, 120);
    setUnevenVertical(1, 520);
    scratch().recordedCount = kIntersectionFloats - 2;
    const int n = lists(ScanPass::Row, 213, 0, 1, 1, 2, 50, 400, 450, 800);
    EXPECT_EQ(n, 3);  // the lists do not depend on the overlay's room
    EXPECT_EQ(scratch().recordedCount, kIntersectionFloats);
    EXPECT_EQ(scratch().recorded[kIntersectionFloats - 2], 120.0f);
    EXPECT_EQ(scratch().recorded[kIntersectionFloats - 1], 390.0f);

    // Joined with what another thread recorded, the overlay keeps the first
    // kIntersectionFloats floats in the one-thread order: both threads' rows, then
    // both threads' columns.
    WarpScratch& other = morph.scratch[1];
    scratch().rowRecordCount = 4;
    other.recordedCount = 4;
    other.rowRecordCount = 2;
    other.recorded[0] = -1;  // a row's crossing of the second thread
    other.recorded[2] = -2;  // a column's: past the capacity in the joined order
    scratch().recorded[kIntersectionFloats - 4] = 7;
    const WarpScratch* parts[] = {&scratch(), &other};
    joinRecordedCrossings(parts, 2);
    EXPECT_EQ(morph.intersectionCount, kIntersectionFloats);
    EXPECT_EQ(morph.intersectionPoints[4], -1.0f);
    EXPECT_EQ(morph.intersectionPoints[6], scratch().recorded[4]);
    EXPECT_EQ(morph.intersectionPoints[kIntersectionFloats - 2], 7.0f);
    EXPECT_EQ(std::count(morph.intersectionPoints.begin(), morph.intersectionPoints.end(), -2.0f),
              0);
}

}  // namespace
}  // namespace mw
