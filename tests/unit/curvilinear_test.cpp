// Quality levels 2 and 3: the plots through the crossings, their phantom ends, the
// walk along the line, and the source positions read through the curves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

using testfixtures::kBrokenLists;
using testfixtures::kInf;
using testfixtures::kNaN;

// The event thread's scratch, and the lists and plots of its first picture.
WarpScratch& scratch() {
    return morph.scratch[0];
}
LineLists& lists() {
    return scratch().lists[0];
}

Inversion inversion() {
    return state.useBinarySearch ? Inversion::Bisection : Inversion::Roots;
}

void setLists(const std::vector<float>& source, const std::vector<float>& target) {
    lists().sourceCrossings.fill(0.0f);
    lists().morphCrossings.fill(0.0f);
    for (size_t j = 0; j < source.size(); ++j) lists().sourceCrossings[j] = source[j];
    for (size_t j = 0; j < target.size(); ++j) lists().morphCrossings[j] = target[j];
}

void buildPlots(ScanPass pass, int level, int n, int sourceLeft, int morphLeft) {
    buildCurvilinearPlots(lists(), pass, level, n, sourceLeft, morphLeft, kWorkstationGrid);
}

void sourceIndices(int level, int n, int count, int* index) {
    curvilinearSourceIndices(scratch(), level, inversion(), n, count, index);
}

// The source pixel of each position of a row (count 256) or column (count 293).
std::vector<int> indicesFor(ScanPass pass, int level, int n, int sourceLeft = 50) {
    buildPlots(pass, level, n, sourceLeft, 450);
    const int count = pass == ScanPass::Row ? kWorkWidth : kWorkHeight;
    std::vector<int> index(count, -1);
    sourceIndices(level, n, count, index.data());
    return index;
}

class CurvilinearTest : public testfixtures::CleanProgram {};

struct Mode {
    int level;
    bool bisection;
};
constexpr Mode kModes[] = {{2, true}, {2, false}, {3, true}, {3, false}};

TEST_F(CurvilinearTest, FarBorderScalesToExactlyTheLineLength) {
    struct Case {
        ScanPass pass;
        int sourceLeft;
        std::vector<float> source, target;
        float far;
    };
    const Case cases[] = {
        {ScanPass::Row, 50, {50, 225, 400, 400}, {450, 537.5f, 800, 800}, 256.0f},
        {ScanPass::Row, 850, {850, 1000, 1200, 1200}, {450, 700, 800, 800}, 256.0f},
        {ScanPass::Column, 50, {100, 300, 500, 500}, {100, 250, 500, 500}, 293.0f},
    };
    for (const Case& c : cases) {
        for (int level : {2, 3}) {
            SCOPED_TRACE(testing::Message() << c.sourceLeft << " " << c.far << " level " << level);
            setLists(c.source, c.target);
            buildPlots(c.pass, level, 3, c.sourceLeft, 450);
            const int stride = level == 3 ? 2 : 1;
            for (const auto* plot : {&lists().sourcePlot, &lists().morphPlot}) {
                EXPECT_EQ((*plot)[stride * 1], 0.0f);
                EXPECT_EQ((*plot)[stride * 3], c.far);
            }
        }
    }
}

TEST_F(CurvilinearTest, PhantomEndsFollowTheCurvesEndConditions) {
    struct Case {
        const char* name;
        std::vector<float> crossings;  // row pass, left picture
        int n;
        std::vector<float> level2;  // elements 0 .. n + 1
    };
    const Case cases[] = {
        // One crossing halfway: zero end tangents, both phantoms at the crossing.
        {"one crossing", {50, 225, 400, 400}, 3, {128, 0, 128, 256, 128}},
        // Uneven: p1 + p3 - p2 before, pn - pn-1 + pn-2 after.
        {"two crossings", {50, 137.5f, 186.71875f, 400, 400}, 4, {36, 0, 64, 100, 256, 220}},
        // No curves: the straight line through the borders, whatever element 3 held.
        {"no curves", {50, 400, 400}, 2, {-256, 0, 256, 512}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setLists(c.crossings, c.crossings);
        lists().sourcePlot.fill(1e30f);
        buildPlots(ScanPass::Row, 2, c.n, 50, 50);
        for (size_t k = 0; k < c.level2.size(); ++k) {
            EXPECT_EQ(lists().sourcePlot[k], c.level2[k]) << "element " << k;
        }
        // Level 3: the same values, and crossing numbers 0..n-1 closed the same way.
        lists().sourcePlot.fill(1e30f);
        buildPlots(ScanPass::Row, 3, c.n, 50, 50);
        const float leadIndex = c.n == 2 ? -1.0f : 1.0f;
        const float trailIndex = c.n == 2 ? 2.0f : static_cast<float>(c.n - 2);
        for (size_t k = 0; k < c.level2.size(); ++k) {
            EXPECT_EQ(lists().sourcePlot[2 * k], c.level2[k]) << "point " << k;
        }
        EXPECT_EQ(lists().sourcePlot[1], leadIndex);
        EXPECT_EQ(lists().sourcePlot[3], 0.0f);
        EXPECT_EQ(lists().sourcePlot[2 * c.n + 1], static_cast<float>(c.n - 1));
        EXPECT_EQ(lists().sourcePlot[2 * c.n + 3], trailIndex);
    }
}

TEST_F(CurvilinearTest, WithoutCurvesRowsAreCopiedAndColumnsStayWithinARow) {
    for (const Mode& m : kModes) {
        SCOPED_TRACE(testing::Message() << "level " << m.level << " bisection " << m.bisection);
        state.useBinarySearch = m.bisection;
        setLists({50, 400, 400}, {450, 800, 800});
        const auto rows = indicesFor(ScanPass::Row, m.level, 2);
        for (int p = 0; p < kWorkWidth; ++p) ASSERT_EQ(rows[p], p);
        setLists({100, 500, 500}, {100, 500, 500});
        const auto columns = indicesFor(ScanPass::Column, m.level, 2);
        for (int p = 0; p < kWorkHeight; ++p) {
            // Bisection stops within its tolerance of the position; the roots of the
            // straight plot are exact, but the float value read back may lie just
            // below a whole row, which truncation then takes.
            ASSERT_GE(columns[p], p - 1) << p;
            ASSERT_LE(columns[p], p) << p;
        }
    }
}

TEST_F(CurvilinearTest, OneCrossingPerLineBendsTheRowThroughIt) {
    // Source crossing at column 128, intermediate crossing at column 64. The plots
    // are (128, 0, 128, 256, 128) and (192, 0, 64, 256, 192); the source positions
    // below come from solving those Catmull-Rom segments exactly.
    const struct {
        int p;
        double source;
    } expected[] = {{10, 51.92},   {32, 88.54},   {100, 159.03},
                    {160, 202.62}, {200, 228.52}, {250, 254.78}};
    for (const Mode& m : kModes) {
        SCOPED_TRACE(testing::Message() << "level " << m.level << " bisection " << m.bisection);
        state.useBinarySearch = m.bisection;
        setLists({50, 225, 400, 400}, {450, 537.5f, 800, 800});
        const auto index = indicesFor(ScanPass::Row, m.level, 3);
        for (const auto& e : expected) {
            SCOPED_TRACE(e.p);
            EXPECT_NEAR(index[e.p], std::floor(e.source), 1.0);
        }
        EXPECT_EQ(index[255], 255);
        for (int p = 1; p < kWorkWidth; ++p) EXPECT_GE(index[p], index[p - 1]) << p;
    }
}

TEST_F(CurvilinearTest, CrossingsCloserThanAPixelLagTheSegmentByOnePosition) {
    // Intermediate crossings at columns 100.2 and 100.57, source crossings at 51.2
    // and 146.3. Position 101 is still on the short segment between the two, which
    // never reaches 101: level 2 falls back to the position itself, level 3 to the
    // crossing number 1 and so to the first source crossing.
    state.useBinarySearch = true;
    setLists({50, 120, 250, 400, 400}, {450, 587, 587.5f, 800, 800});
    const auto simple = indicesFor(ScanPass::Row, 2, 4);
    EXPECT_EQ(simple[101], 101);
    EXPECT_NEAR(simple[100], 51, 1);
    EXPECT_NEAR(simple[102], 146, 2);

    const auto precise = indicesFor(ScanPass::Row, 3, 4);
    EXPECT_EQ(precise[101], 51);
    EXPECT_NEAR(precise[100], 51, 1);
    EXPECT_NEAR(precise[102], 146, 2);
}

TEST_F(CurvilinearTest, CrossingNumberBeyondTheLastSegmentReadsNoPointPastThePlot) {
    // A morph plot whose crossing numbers all read 10 while n = 3: the source
    // segment is bounded to the last real one, which never reaches 10, so every
    // position maps to itself. Points past the plot are poisoned so that reading
    // them would give 77.
    state.useBinarySearch = true;
    setLists({50, 225, 400, 400}, {450, 625, 800, 800});
    buildPlots(ScanPass::Row, 3, 3, 50, 450);
    for (int k = 0; k < 5; ++k) {
        lists().morphPlot[2 * k] = 128.0f * static_cast<float>(k - 1);
        lists().morphPlot[2 * k + 1] = 10.0f;
    }
    for (int k = 5; k < kCrossingListSize / 2; ++k) {
        lists().sourcePlot[2 * k] = 77.0f;
        lists().sourcePlot[2 * k + 1] = static_cast<float>(k - 1);  // point k + 1 has number k
    }
    std::vector<int> index(kWorkWidth, -1);
    sourceIndices(3, 3, kWorkWidth, index.data());
    for (int p = 0; p < kWorkWidth; ++p) ASSERT_EQ(index[p], p);
}

TEST_F(CurvilinearTest, BrokenListsGiveSourcePixelsInsideTheLine) {
    for (const auto& lists : kBrokenLists) {
        for (const Mode& m : kModes) {
            for (ScanPass pass : {ScanPass::Row, ScanPass::Column}) {
                SCOPED_TRACE(testing::Message() << "case " << (&lists - kBrokenLists) << " level "
                                                << m.level << " bisection " << m.bisection);
                state.useBinarySearch = m.bisection;
                setLists(lists[0], lists[1]);
                const auto index = indicesFor(pass, m.level, 4);
                const int count = static_cast<int>(index.size());
                for (int p = 0; p < count; ++p) {
                    ASSERT_GE(index[p], 0);
                    ASSERT_LT(index[p], count);
                }
            }
        }
    }
}

TEST_F(CurvilinearTest, CountsBeyondThePlotsStayInsideThem) {
    setLists({50, 400, 400}, {450, 800, 800});
    for (int level : {2, 3}) {
        for (int n : {0, 1, 49, 99, 1000}) {
            SCOPED_TRACE(testing::Message() << "level " << level << " n " << n);
            // What follows the plots in the scratch: the second picture's lists.
            scratch().lists[1].sourceCrossings[0] = 5.0f;
            const auto index = indicesFor(ScanPass::Row, level, n);
            EXPECT_EQ(scratch().lists[1].sourceCrossings[0], 5.0f);
            for (int p : index) {
                ASSERT_GE(p, 0);
                ASSERT_LT(p, kWorkWidth);
            }
        }
    }
}

// --- Through warpImage, on nets in the curve store ---------------------------

struct Point {
    float x, y;
};

// Curve c through the points, with phantom points that extend its ends straight.
void setCurve(int c, const std::vector<Point>& points) {
    const int n = static_cast<int>(points.size());
    store.pointCount[c] = n;
    for (int j = 0; j < n; ++j) {
        store.controlPoints[slotOf(c, j)] = points[j].x;
        store.controlPoints[slotOf(c, j) + 1] = points[j].y;
    }
    if (n < 2) return;
    store.controlPoints[slotOf(c, -1)] = 2 * points[0].x - points[1].x;
    store.controlPoints[slotOf(c, -1) + 1] = 2 * points[0].y - points[1].y;
    store.controlPoints[slotOf(c, n)] = 2 * points[n - 1].x - points[n - 2].x;
    store.controlPoints[slotOf(c, n) + 1] = 2 * points[n - 1].y - points[n - 2].y;
}

void fillPicture(WorkImage& picture) {
    for (int i = 0; i < kWorkBytes; ++i) picture[i] = static_cast<uint8_t>((i * 37) % 251);
}

void warpLeft() {
    // Left bank: curves 0, 1 vertical, 2, 3 horizontal; intermediate bank 8..11.
    warpImage(1, images.leftWarp, 0, 2, 8, 10, 2, 4, 10, 12, 50, 400, 450, 800);
}

TEST_F(CurvilinearTest, WarpWithoutCurvesAndRootsKeepsEveryPixelInItsColumnWithinARow) {
    fillPicture(images.leftImage);
    state.useBinarySearch = false;
    for (int level : {2, 3}) {
        SCOPED_TRACE(level);
        state.qualityLevel = level;
        images.leftWarp.fill(-1);
        warpImage(1, images.leftWarp, 0, 0, 0, 0, 0, 0, 0, 0, 50, 400, 450, 800);
        for (int i = 0; i < kWorkBytes; ++i) {
            const int below = i >= kWorkRowBytes ? images.leftImage[i - kWorkRowBytes] : -2;
            ASSERT_TRUE(images.leftWarp[i] == images.leftImage[i] || images.leftWarp[i] == below)
                << i;
        }
    }
}

TEST_F(CurvilinearTest, AwkwardNetsWarpInsideTheBuffersAtEveryLevel) {
    // Curves crossed over, dragged far outside the panel, drawn backwards, crossing
    // only part of the picture, or of two points: every sample is still a picture value.
    struct Net {
        const char* name;
        std::vector<Point> vertical[2], morphVertical[2], horizontal[2], morphHorizontal[2];
    };
    const std::vector<Point> v1 = {{150, 520}, {160, 380}, {140, 220}, {150, 80}};
    const std::vector<Point> v2 = {{300, 520}, {290, 300}, {310, 80}};
    const std::vector<Point> h1 = {{30, 200}, {200, 210}, {420, 190}};
    const std::vector<Point> h2 = {{30, 400}, {150, 380}, {260, 420}, {420, 400}};
    auto shift = [](std::vector<Point> points, float dx, float dy) {
        for (Point& p : points) {
            p.x += dx;
            p.y += dy;
        }
        return points;
    };
    auto reversed = [](std::vector<Point> points) {
        return std::vector<Point>(points.rbegin(), points.rend());
    };
    const Net nets[] = {
        {"ordinary",
         {v1, v2},
         {shift(v1, 410, 0), shift(v2, 380, 0)},
         {h1, h2},
         {shift(h1, 400, 30), shift(h2, 400, -20)}},
        {"crossed over",
         {v1, v2},
         {shift(v2, 400, 0), shift(v1, 400, 0)},
         {h1, h2},
         {shift(h2, 400, 0), shift(h1, 400, 0)}},
        {"far outside",
         {v1, v2},
         {shift(v1, 5000, 0), shift(v2, -3000, 0)},
         {h1, h2},
         {shift(h1, 400, 9000), shift(h2, 400, -700)}},
        {"drawn backwards",
         {reversed(v1), v2},
         {shift(v1, 400, 0), reversed(shift(v2, 400, 0))},
         {h1, reversed(h2)},
         {reversed(shift(h1, 400, 0)), shift(h2, 400, 0)}},
        {"partial and short",
         {{{150, 450}, {150, 300}, {150, 250}}, {{300, 500}, {300, 80}}},
         {shift(v1, 400, 0), shift(v2, 400, 0)},
         {{{30, 200}, {100, 210}, {120, 190}}, h2},
         {shift(h1, 400, 0), {{430, 400}, {800, 400}}}},
    };
    fillPicture(images.leftImage);
    for (const Net& net : nets) {
        testfixtures::restart(store);
        store.curveCount = 8;
        for (int i = 0; i < 2; ++i) {
            setCurve(i, net.vertical[i]);
            setCurve(2 + i, net.horizontal[i]);
            setCurve(8 + i, net.morphVertical[i]);
            setCurve(10 + i, net.morphHorizontal[i]);
        }
        for (const Mode& m :
             {Mode{1, true}, Mode{1, false}, kModes[0], kModes[1], kModes[2], kModes[3]}) {
            SCOPED_TRACE(testing::Message()
                         << net.name << " level " << m.level << " bisection " << m.bisection);
            state.qualityLevel = m.level;
            state.useBinarySearch = m.bisection;
            images.leftWarp.fill(-1);
            warpLeft();
            for (int i = 0; i < kWorkBytes; ++i) {
                ASSERT_GE(images.leftWarp[i], 0) << i;
                ASSERT_LE(images.leftWarp[i], 255) << i;
            }
        }
    }
}

}  // namespace
}  // namespace mw
