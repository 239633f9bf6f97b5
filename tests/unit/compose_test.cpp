// Composition of the middle panel: views, the blend by morphT, the texture upload,
// and the callers that start it.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class ComposeTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override { images.morphTexture = 9; }
};

// A quality level outside 1..3 warps nothing, so these tests set the warps by hand
// and see the combination alone.
constexpr int kNoWarp = 0;

TEST_F(ComposeTest, ViewThreeBlendsByMorphTInDouble) {
    struct Case {
        float t;
        int left, right, expected;
    };
    const Case cases[] = {
        {0.0f, 200, 13, 200},
        {1.0f, 200, 13, 13},
        {0.5f, 255, 0, 127},
        {0.5f, 0, 255, 127},
        {0.5f, 100, 201, 150},
        {0.25f, 255, 0, 191},
        {0.0f, 255, 0, 255},
        {1.0f, 0, 255, 255},
        // 0.01f is a little above 0.01: 0.99 * 0 + t * 100 in float would round up to 1.
        {0.01f, 0, 100, 0},
    };
    state.qualityLevel = kNoWarp;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.t << " " << c.left << " " << c.right);
        images.leftWarp.fill(c.left);
        images.rightWarp.fill(c.right);
        state.morphT = c.t;
        composeMorph();
        EXPECT_EQ(images.morphImage[0], c.expected);
        EXPECT_EQ(images.morphImage[kWorkBytes - 1], c.expected);
        EXPECT_EQ(std::count(images.morphImage.begin(), images.morphImage.end(), c.expected),
                  kWorkBytes);
    }
}

TEST_F(ComposeTest, MorphTOutsideTheSliderRangeStillGivesDefinedBytes) {
    // No caller sets such a morphT; the blend keeps the low byte and never converts
    // an out-of-range or NaN value to an integer.
    struct Case {
        float t;
        int expected;
    };
    const Case cases[] = {{3.0f, 44},
                          {-1.0f, 156},
                          {1e30f, 0},
                          {-1e30f, 0},
                          {std::numeric_limits<float>::quiet_NaN(), 0},
                          {std::numeric_limits<float>::infinity(), 0}};
    state.qualityLevel = kNoWarp;
    images.leftWarp.fill(0);
    images.rightWarp.fill(100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        state.morphT = c.t;
        composeMorph();
        EXPECT_EQ(images.morphImage[321], c.expected);
    }
}

TEST_F(ComposeTest, ViewsOneAndTwoTakeTheLowBytesOfOneWarp) {
    state.qualityLevel = kNoWarp;
    state.morphT = 0.3f;  // acts only through the intermediate net
    for (int i = 0; i < kWorkBytes; ++i) {
        images.leftWarp[i] = i % 256;
        images.rightWarp[i] = 255 - i % 256;
    }
    images.leftWarp[7] = 300;  // low byte 44
    images.rightWarp[7] = -1;  // low byte 255
    for (int view : {1, 2}) {
        SCOPED_TRACE(view);
        state.viewMode = view;
        composeMorph();
        const WarpImage& warp = view == 1 ? images.leftWarp : images.rightWarp;
        EXPECT_EQ(images.morphImage[7], view == 1 ? 44 : 255);
        bool same = true;
        for (int i = 0; i < kWorkBytes; ++i)
            same = same && images.morphImage[i] == static_cast<uint8_t>(warp[i]);
        EXPECT_TRUE(same);
    }
}

TEST_F(ComposeTest, UploadsMorphImageAndRequestsARedisplay) {
    state.qualityLevel = kNoWarp;
    state.viewMode = 1;
    for (int i = 0; i < kWorkBytes; ++i) images.leftWarp[i] = (i * 7) % 256;
    composeMorph();
    EXPECT_EQ(gldouble::strings({"glBindTexture", "glTexImage2D", "glutPostRedisplay"}),
              (std::vector<std::string>{
                  "glBindTexture(GL_TEXTURE_2D, 9)",
                  "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 293, 0, GL_RGB, GL_UNSIGNED_BYTE)",
                  "glutPostRedisplay()"}));
    ASSERT_EQ(gldouble::lastTexImage.pixels.size(), static_cast<size_t>(kWorkBytes));
    EXPECT_TRUE(std::equal(images.morphImage.begin(), images.morphImage.end(),
                           gldouble::lastTexImage.pixels.begin()));
    EXPECT_EQ(gldouble::lastTexImage.pixels[kWorkBytes - 1], ((kWorkBytes - 1) * 7) % 256);
}

TEST_F(ComposeTest, UnknownViewUploadsThePreviousPictureUnchanged) {
    for (int view : {0, 4, -3}) {
        SCOPED_TRACE(view);
        gldouble::reset();
        state.viewMode = view;
        images.leftWarp.fill(1);
        images.rightWarp.fill(2);
        images.morphImage.fill(77);
        morph.intersectionCount = 6;
        composeMorph();
        EXPECT_EQ(std::count(images.morphImage.begin(), images.morphImage.end(), 77), kWorkBytes);
        EXPECT_EQ(images.leftWarp[0], 1);
        EXPECT_EQ(images.rightWarp[0], 2);
        EXPECT_EQ(morph.intersectionCount, 6);  // no warp ran
        EXPECT_EQ(gldouble::count("glTexImage2D"), 1);
        EXPECT_EQ(gldouble::lastTexImage.pixels.at(100), 77);
        EXPECT_EQ(gldouble::count("glutPostRedisplay"), 1);
    }
}

// Pictures with every sample different from its neighbours.
void paintPictures() {
    for (int i = 0; i < kWorkBytes; ++i) {
        images.leftImage[i] = static_cast<uint8_t>(i * 13 % 251);
        images.rightImage[i] = static_cast<uint8_t>(255 - i * 7 % 253);
    }
}

TEST_F(ComposeTest, WithoutCurvesTheEndsOfTheSliderShowThePictures) {
    paintPictures();
    for (float t : {0.0f, 1.0f}) {
        SCOPED_TRACE(t);
        state.morphT = t;
        composeMorph();
        const WorkImage& expected = t == 0.0f ? images.leftImage : images.rightImage;
        EXPECT_TRUE(
            std::equal(images.morphImage.begin(), images.morphImage.end(), expected.begin()));
    }
}

// One vertical and one horizontal curve per bank (curveCount 4): left 0, 1; right
// 2, 3; intermediate 4, 5. Straight lines across the whole panel, right net unmoved.
void setStraight(int c, float x0, float y0, float dx, float dy) {
    store.pointCount[c] = 3;
    for (int j = -1; j <= 3; ++j) {
        store.controlPoints[slotOf(c, j)] = x0 + dx * static_cast<float>(j);
        store.controlPoints[slotOf(c, j) + 1] = y0 + dy * static_cast<float>(j);
    }
}

void makeCrossNet() {
    store.curveCount = 4;
    store.curveCursor = 3;
    setStraight(0, 220, 530, 0, -220);  // vertical, drawn downwards
    setStraight(1, 20, 310, 190, 0);    // horizontal, drawn left to right
    setStraight(2, 1020, 530, 0, -220);
    setStraight(3, 820, 310, 190, 0);
    state.morphT = 0.5f;
    buildIntermediateCurves();
    setStraight(4, 620, 530, 0, -220);  // as drawn: with their trailing phantoms
    setStraight(5, 420, 310, 190, 0);
}

TEST_F(ComposeTest, OverlayKeepsTheCrossingsOfTheLastPictureWarped) {
    makeCrossNet();
    struct Case {
        int view;
        int sourceLeft;  // panel whose crossings are kept, besides the morph panel's
    };
    for (Case c : {Case{1, 50}, Case{2, 850}, Case{3, 850}}) {
        SCOPED_TRACE(c.view);
        state.viewMode = c.view;
        composeMorph();
        // Every row meets each vertical curve, every column each horizontal one.
        ASSERT_EQ(morph.intersectionCount, 2 * 2 * (kWorkHeight + kWorkWidth));
        int onSource = 0, onMorph = 0;
        for (int k = 0; k < morph.intersectionCount; k += 2) {
            const float x = morph.intersectionPoints[k];
            if (x >= 450 && x <= 800)
                ++onMorph;
            else if (x >= c.sourceLeft && x <= c.sourceLeft + 350)
                ++onSource;
        }
        EXPECT_EQ(onSource, kWorkHeight + kWorkWidth);
        EXPECT_EQ(onMorph, kWorkHeight + kWorkWidth);
    }
}

TEST_F(ComposeTest, KeySRecomposesOnlyAfterM) {
    state.qualityLevel = kNoWarp;
    onKeyboard('s', 0, 0);
    EXPECT_EQ(state.viewMode, 1);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0);
    onKeyboard('M', 0, 0);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0);
    images.rightWarp.fill(42);
    onKeyboard('S', 0, 0);
    EXPECT_EQ(state.viewMode, 2);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 1);
    EXPECT_EQ(images.morphImage[500], 42);
}

TEST_F(ComposeTest, SliderDraggedBeyondTheTrackRecomposesWithUnchangedMorphT) {
    state.qualityLevel = kNoWarp;
    images.leftWarp.fill(10);
    images.rightWarp.fill(250);
    struct Case {
        float t;
        int x;  // within the handle's grab zone, outside the track 350..900
        int expected;
    };
    for (Case c : {Case{1.0f, 910, 250}, Case{0.0f, 340, 10}}) {
        SCOPED_TRACE(c.x);
        gldouble::reset();
        state.morphT = c.t;
        state.leftButtonDown = 1;
        onMotion(c.x, 600 - 37);
        EXPECT_EQ(state.morphT, c.t);
        EXPECT_EQ(gldouble::count("glTexImage2D"), 1);
        EXPECT_EQ(images.morphImage[1234], c.expected);
    }
}

// A net that breaks every assumption of the warp: a vertical curve drawn upwards,
// one of two points, one dragged far outside the window, horizontal curves that
// cross each other on the right, one that spans only part of the width there.
void makeUnrulyNet() {
    const int xs[] = {120, 200, 260, 330};
    for (int i = 0; i < 4; ++i) {
        const int points = i == 2 ? 2 : 5;
        for (int j = 0; j < points; ++j) {
            const int y = i == 1 ? 94 + 103 * j : 506 - 103 * j;
            appendPointPair(xs[i] + 3 * (j % 2), y);
        }
        startNextCurve();
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 5; ++j) appendPointPair(44 + 90 * j, 180 + 80 * i + 2 * (j % 3));
        startNextCurve();
    }
    const int n = store.curveCount / 2;  // 9: the right bank starts at curve 9
    for (int j = 0; j < 5; ++j) {
        store.controlPoints[slotOf(3, j)] = -3000.0f + 2000.0f * static_cast<float>(j);
        store.controlPoints[slotOf(n + 6, j) + 1] = 430.0f - 2 * static_cast<float>(j);
        store.controlPoints[slotOf(n + 7, j) + 1] = 190.0f + 3 * static_cast<float>(j);
        store.controlPoints[slotOf(n + 5, j)] = 1000.0f + 20 * static_cast<float>(j);
    }
    store.controlPoints[slotOf(n, 2)] = 1190.0f;  // bulges across its neighbours
    for (int c = 0; c < store.curveCount; ++c) drawCurve(c, false);
    buildIntermediateCurves();
    for (int c = store.curveCount; c < store.curveCount + store.curveCount / 2; ++c)
        drawCurve(c, true);
}

TEST_F(ComposeTest, UnrulyNetComposesAtEveryLevelAndInversion) {
    paintPictures();
    gldouble::recording = false;
    for (float t : {0.2f, 0.9f}) {
        testfixtures::restart(store);
        state.morphT = t;
        makeUnrulyNet();
        for (int level = 1; level <= 3; ++level) {
            for (bool bisection : {true, false}) {
                for (int view : {1, 2}) {  // view 3 runs the same two warps
                    SCOPED_TRACE(::testing::Message()
                                 << "t " << t << " level " << level << " bisection " << bisection
                                 << " view " << view);
                    state.qualityLevel = level;
                    state.useBinarySearch = bisection;
                    state.viewMode = view;
                    WarpImage& warp = view == 1 ? images.leftWarp : images.rightWarp;
                    warp.fill(-1);
                    composeMorph();
                    EXPECT_EQ(morph.intersectionCount % 2, 0);
                    EXPECT_GT(morph.intersectionCount, 0);
                    // Every sample of the warp is written, with a picture's value.
                    EXPECT_TRUE(std::all_of(warp.begin(), warp.end(),
                                            [](int32_t v) { return v >= 0 && v <= 255; }));
                }
            }
        }
    }
}

}  // namespace
}  // namespace mw
