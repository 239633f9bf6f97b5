// The two-pass warp and the linear level: byte-offset snapping, the interval
// arithmetic of both passes, and buffers that stay in bounds whatever the lists hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "app/state.h"
#include "curvemath/instruction_set.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

using testfixtures::kBrokenLists;
using testfixtures::kInf;
using testfixtures::kNaN;
constexpr int32_t kUntouched = -7;

// Input pixel (row r, column c) = (c, r mod 256, 255 - c): red names the column,
// green the row, blue tells a channel swap from a copy.
void fillColumnCodedPicture(WorkImage& picture) {
    for (int r = 0; r < kWorkHeight; ++r) {
        for (int c = 0; c < kWorkWidth; ++c) {
            const int at = (r * kWorkWidth + c) * 3;
            picture[at] = static_cast<uint8_t>(c);
            picture[at + 1] = static_cast<uint8_t>(r % 256);
            picture[at + 2] = static_cast<uint8_t>(255 - c);
        }
    }
}

// morphWork pixel (row r, column c) = (r, c, 1000 + r): red names the row.
void fillRowCodedWork() {
    for (int r = 0; r < kWorkHeight; ++r) {
        for (int c = 0; c < kWorkWidth; ++c) {
            const int at = (r * kWorkWidth + c) * 3;
            images.morphWork[at] = r;
            images.morphWork[at + 1] = c;
            images.morphWork[at + 2] = 1000 + r;
        }
    }
}

// The lists of the event thread's scratch.
LineLists& lists() {
    return morph.scratch[0].lists[0];
}

void setLists(const std::vector<float>& source, const std::vector<float>& target) {
    lists().sourceCrossings.fill(0.0f);
    lists().morphCrossings.fill(0.0f);
    for (size_t j = 0; j < source.size(); ++j) lists().sourceCrossings[j] = source[j];
    for (size_t j = 0; j < target.size(); ++j) lists().morphCrossings[j] = target[j];
}

// The linear level through morphWork, as the event thread's warp runs it.
void mapRow(const WorkImage& input, int row, int n, int sourceLeft, int morphLeft) {
    mapRowLinear(lists(), input, images.morphWork, row, n, sourceLeft, morphLeft);
}

void mapColumn(WarpImage& output, int column, int n) {
    mapColumnLinear(lists(), images.morphWork, output, column, n);
}

int workPixel(int r, int c, int channel = 0) {
    return images.morphWork[(r * kWorkWidth + c) * 3 + channel];
}

class WarpTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override {
        fillColumnCodedPicture(images.leftImage);
        images.morphWork.fill(kUntouched);
        images.leftWarp.fill(kUntouched);
    }
};

TEST_F(WarpTest, NextPixelOffsetIsTheStartOfTheFollowingPixel) {
    const struct {
        float v;
        int offset;
    } cases[] = {{0.0f, 3},  {2.9f, 3},     {3.0f, 6},     {-4.0f, 0},
                 {-1.0f, 3}, {767.9f, 768}, {384.0f, 387}, {460.8f, 462}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.v);
        EXPECT_EQ(nextPixelOffset(c.v), c.offset);
    }
}

TEST_F(WarpTest, NextPixelOffsetOfNonFiniteOrHugeValuesIsAFinitePixelStart) {
    EXPECT_EQ(nextPixelOffset(kNaN), 3);
    for (float v : {kInf, -kInf, 1e30f, -1e30f, 3e9f}) {
        SCOPED_TRACE(v);
        const int offset = nextPixelOffset(v);
        EXPECT_EQ(offset % 3, 0);
        EXPECT_EQ(offset > 0, v > 0);
    }
}

TEST_F(WarpTest, RowPassWorkedExampleWithOneCurveInEachNet) {
    setLists({50, 225, 400, 400}, {450, 660, 800, 800});
    mapRow(images.leftImage, 7, 3, 50, 450);
    const struct {
        int destination, source;
    } cases[] = {{0, 0},     {1, 0},     {100, 83},  {151, 126}, {152, 126},
                 {153, 128}, {154, 129}, {200, 186}, {255, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.destination);
        EXPECT_EQ(workPixel(7, c.destination, 0), c.source);
        EXPECT_EQ(workPixel(7, c.destination, 1), 7);
        EXPECT_EQ(workPixel(7, c.destination, 2), 255 - c.source);
    }
    for (int c = 0; c < kWorkWidth; ++c) ASSERT_NE(workPixel(7, c), kUntouched) << c;
    EXPECT_EQ(workPixel(6, 0), kUntouched);
    EXPECT_EQ(workPixel(8, 0), kUntouched);
}

TEST_F(WarpTest, RowPassWithoutCurvesCopiesTheRowOfEitherPicture) {
    fillColumnCodedPicture(images.rightImage);
    const struct { int left, right; } panels[] = {{50, 400}, {850, 1200}};
    for (const auto& panel : panels) {
        SCOPED_TRACE(panel.left);
        const float l = static_cast<float>(panel.left);
        const float r = static_cast<float>(panel.right);
        setLists({l, r, r}, {450, 800, 800});
        mapRow(images.leftImage, 292, 2, panel.left, 450);
        for (int c = 0; c < kWorkWidth; ++c) ASSERT_EQ(workPixel(292, c), c) << c;
    }
}

TEST_F(WarpTest, ColumnPassOfAnUnchangedNetWithACrossingBetweenRowsCopiesTheColumn) {
    // Both nets cross the column at y 242, row 104.015: every row maps to itself,
    // above the crossing too.
    fillRowCodedWork();
    setLists({100, 242, 500, 500}, {100, 242, 500, 500});
    mapColumn(images.leftWarp, 7, 3);
    for (int r = 0; r < kWorkHeight; ++r) ASSERT_EQ(images.leftWarp[(r * kWorkWidth + 7) * 3], r);
}

TEST_F(WarpTest, ColumnPassWithoutCurvesCopiesTheColumn) {
    fillRowCodedWork();
    setLists({100, 500, 500}, {100, 500, 500});
    mapColumn(images.leftWarp, 255, 2);
    for (int r = 0; r < kWorkHeight; ++r) {
        const int at = (r * kWorkWidth + 255) * 3;
        ASSERT_EQ(images.leftWarp[at], r);
        ASSERT_EQ(images.leftWarp[at + 1], 255);
        ASSERT_EQ(images.leftWarp[at + 2], 1000 + r);
    }
    EXPECT_EQ(images.leftWarp[(10 * kWorkWidth + 254) * 3], kUntouched);
}

TEST_F(WarpTest, ColumnPassIntervalStartsAtTheTruncatedMorphRow) {
    // Source curve at y 300 (row 146.5), intermediate curve at y 250 (row 109.875):
    // the lower interval scales by 146.5 / 109.875, the upper by 146.5 / 183.125.
    fillRowCodedWork();
    setLists({100, 300, 500, 500}, {100, 250, 500, 500});
    mapColumn(images.leftWarp, 3, 3);
    const struct {
        int row, source;
    } cases[] = {{0, 0}, {50, 66}, {100, 133}, {109, 146}, {110, 146}, {200, 218}, {292, 292}};
    // Row 292 lies 145.7 source rows above 146.5: row 292 itself. Truncating the
    // 145.7 before adding the 146.5 would give 291, one row low.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(images.leftWarp[(c.row * kWorkWidth + 3) * 3], c.source);
    }
}

TEST_F(WarpTest, OnePixelDestinationIntervalTakesThePixelAtItsSourceStart) {
    // Morph crossings at 500 and 501.4 snap to byte offsets 108 and 111: a
    // destination interval of exactly pixel 36. Its source starts at pixel 73,
    // whether the source interval is wide or one pixel as well.
    for (float sourceEnd : {300.0f, 151.5f}) {
        SCOPED_TRACE(sourceEnd);
        images.morphWork.fill(kUntouched);
        setLists({50, 150, sourceEnd, 400, 400}, {450, 500, 501.4f, 800, 800});
        mapRow(images.leftImage, 0, 4, 50, 450);
        EXPECT_EQ(workPixel(0, 36), 73);
        EXPECT_EQ(workPixel(0, 37), sourceEnd == 300.0f ? 182 : 74);
    }
}

TEST_F(WarpTest, EmptyColumnIntervalBelowAFractionalRowTakesItsStartRow) {
    // The second interval has d0 = d1 = 109.875: only row 109 lies below it, and
    // it takes the interval's start row 146 instead of an infinite scale.
    fillRowCodedWork();
    setLists({100, 300, 300}, {100, 250, 250});
    mapColumn(images.leftWarp, 0, 2);
    EXPECT_EQ(images.leftWarp[(107 * kWorkWidth) * 3], 142);
    EXPECT_EQ(images.leftWarp[(109 * kWorkWidth) * 3], 146);
    EXPECT_EQ(images.leftWarp[(110 * kWorkWidth) * 3], kUntouched);
}

// Every pixel written into row r of morphWork must be a pixel of row r of the input.
void expectRowHoldsInputPixels(int r) {
    for (int c = 0; c < kWorkWidth; ++c) {
        const int red = workPixel(r, c, 0);
        if (red == kUntouched) continue;
        ASSERT_GE(red, 0);
        ASSERT_LE(red, 255);
        ASSERT_EQ(workPixel(r, c, 1), r % 256);
        ASSERT_EQ(workPixel(r, c, 2), 255 - red);
    }
}

TEST_F(WarpTest, BrokenListsKeepBothPassesInsideTheBuffers) {
    for (const auto& lists : kBrokenLists) {
        const size_t which = &lists - kBrokenLists;
        SCOPED_TRACE(which);
        images.morphWork.fill(kUntouched);
        setLists(lists[0], lists[1]);
        mapRow(images.leftImage, 5, 4, 50, 450);
        expectRowHoldsInputPixels(5);

        // The column pass reads the same lists as y positions.
        fillRowCodedWork();
        images.leftWarp.fill(kUntouched);
        mapColumn(images.leftWarp, 100, 4);
        for (int r = 0; r < kWorkHeight; ++r) {
            const int at = (r * kWorkWidth + 100) * 3;
            if (images.leftWarp[at] == kUntouched) continue;
            ASSERT_GE(images.leftWarp[at], 0);
            ASSERT_LT(images.leftWarp[at], kWorkHeight);
            ASSERT_EQ(images.leftWarp[at + 1], 100);
        }
    }
}

// The row pass's AVX2 loop (four pixels a step, each read as one word) gives what
// the plain loop gives, on every row (the last one stays with the plain loop) and
// on lists that stretch, squeeze, reverse or leave the picture.
TEST_F(WarpTest, RowPassGivesTheSameRowsWithAndWithoutAvx2) {
    fillColumnCodedPicture(images.leftImage);
    std::vector<std::pair<std::vector<float>, std::vector<float>>> cases = {
        {{50, 225, 400, 400}, {450, 660, 800, 800}},
        {{50, 120, 130, 390, 400, 400}, {450, 700, 710, 720, 800, 800}},
        {{50, 101.7f, 333.3f, 400, 400}, {450, 452.1f, 797.9f, 800, 800}},
    };
    for (const auto& broken : kBrokenLists) cases.emplace_back(broken[0], broken[1]);
    for (const auto& [source, target] : cases) {
        SCOPED_TRACE(testing::PrintToString(source) + " onto " + testing::PrintToString(target));
        setLists(source, target);
        const int n = static_cast<int>(source.size()) - 2;
        WarpImage plain, wide;
        plain.fill(kUntouched);
        wide.fill(kUntouched);
        for (bool avx2 : {false, true}) {
            limitInstructionSet(avx2 ? InstructionSet::Avx2 : InstructionSet::Sse2);
            for (int row = 0; row < kWorkHeight; ++row)
                mapRowLinear(lists(), images.leftImage, avx2 ? wide : plain, row, n, 50, 450);
        }
        limitInstructionSet(InstructionSet::Avx512);
        EXPECT_TRUE(plain == wide);
    }
}

TEST_F(WarpTest, CountsOutsideTheListsAreBounded) {
    setLists({50, 400, 400}, {450, 800, 800});
    for (int n : {0, -3, 100, 1000}) {
        SCOPED_TRACE(n);
        mapRow(images.leftImage, 1, n, 50, 450);
        mapColumn(images.leftWarp, 1, n);
    }
    expectRowHoldsInputPixels(1);
}

// --- The whole warp -----------------------------------------------------------

TEST_F(WarpTest, WarpResetsTheCrossingCountAndQualityZeroCopiesNothing) {
    morph.intersectionCount = 42;
    images.morphWork.fill(kUntouched);
    for (int level : {0, 4, -1}) {
        SCOPED_TRACE(level);
        state.qualityLevel = level;
        warpImage(1, images.leftWarp, 0, 0, 0, 0, 0, 0, 0, 0, 50, 400, 450, 800);
        EXPECT_EQ(morph.intersectionCount, 0);
        for (int i = 0; i < kWorkBytes; ++i) {
            ASSERT_EQ(images.leftWarp[i], kUntouched);
            ASSERT_EQ(images.morphWork[i], kUntouched);
        }
    }
}

TEST_F(WarpTest, LinearWarpWithoutCurvesCopiesEitherPicture) {
    fillColumnCodedPicture(images.rightImage);
    for (int i = 0; i < kWorkBytes; i += 3) images.rightImage[i + 2] = 77;  // tell the sides apart
    state.qualityLevel = 1;
    warpImage(1, images.leftWarp, 0, 0, 0, 0, 0, 0, 0, 0, 50, 400, 450, 800);
    warpImage(2, images.rightWarp, 0, 0, 0, 0, 0, 0, 0, 0, 850, 1200, 450, 800);
    for (int i = 0; i < kWorkBytes; ++i) {
        ASSERT_EQ(images.leftWarp[i], images.leftImage[i]) << i;
        ASSERT_EQ(images.rightWarp[i], images.rightImage[i]) << i;
    }
}

}  // namespace
}  // namespace mw
