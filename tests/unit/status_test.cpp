// Status text and slider through the recording GL double: every line's text and
// raster position in both states, the quality and view lines, the slider quads.
#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <string>
#include <vector>

#include "app/state.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct Line {
    double x, y;
    std::string text;
};

std::vector<Line> drawnLines() {
    std::vector<Line> out;
    for (const gldouble::DrawnText& t : gldouble::texts()) {
        EXPECT_EQ(t.z, 0.0);
        out.push_back({t.x, t.y, t.text});
    }
    return out;
}

void expectLines(const std::vector<Line>& expected) {
    const std::vector<Line> actual = drawnLines();
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        SCOPED_TRACE(expected[k].text);
        EXPECT_EQ(actual[k].x, expected[k].x);
        EXPECT_EQ(actual[k].y, expected[k].y);
        EXPECT_EQ(actual[k].text, expected[k].text);
    }
}

const std::string kBinary = "Using Binary Search Algorithm (faster) (hotkey b)";
const std::string kRoots = "Using Quadratic Roots Algorithm (slower) (hotkey b)";

class StatusTest : public testfixtures::CleanProgram {};

TEST_F(StatusTest, BeforeMorphingShowsInstructionsTogglesAndMorphHint) {
    drawStatusText();
    expectLines({
        {5, 585,
         "Please read the following instructions: (Left-click to draw points. Right-click after "
         "drawing each curve to draw a new one.)"},
        {5, 565,
         "Step 1: Draw VERTICAL curves on the LEFT image: Draw the curves DOWNWARDS but start "
         "with the LEFT-MOST curve then to the right."},
        {5, 545,
         "Step 2: Draw HORIZONTAL curves on the LEFT image: Draw the curves from LEFT to RIGHT "
         "but start with the BOTTOM-MOST curve then up."},
        {5, 525, "Step 3: Manipulate all points and tangents on BOTH images to desired shapes."},
        {5, 505,
         "Step 4: Press 'M' to start morphing then move the slider handle or Press 'A' to play an "
         "animation."},
        {5, 85, "Show Curves (hotkey c): True"},
        {5, 65, "Show Points (hotkey p): True"},
        {5, 45, "Show Tangents (hotkey t): True"},
        {550, 45, "Press M to start morphing."},
    });
}

TEST_F(StatusTest, AfterMorphingStartsShowsTheMorphingLines) {
    state.morphingStarted = true;
    drawStatusText();
    expectLines({
        {5, 85, "Show Curves (hotkey c): True"},
        {5, 65, "Show Points (hotkey p): True"},
        {5, 45, "Show Tangents (hotkey t): True"},
        {5, 25, "Show Intermediate Curves (hotkey i): False"},
        {5, 5, "Quality (hotkey q): 1 - Linear Pixel Translation (fast) " + kBinary},
        {920, 45, "Showing both image morphs (hotkey s)"},
        {550, 25, "Press A to start animation."},
        {920, 25, "Show Intersections (hotkey x): False"},
    });
}

TEST_F(StatusTest, TogglesFollowTheProgramStateInBothStates) {
    for (bool started : {false, true}) {
        SCOPED_TRACE(started ? "morphing" : "not morphing");
        testfixtures::resetProgram();
        state.morphingStarted = started;
        state.showCurves = false;
        state.showPoints = false;
        state.showTangents = false;
        state.showIntermediate = true;
        state.showIntersections = true;
        state.animationRunning = true;
        drawStatusText();
        std::vector<Line> lines = drawnLines();
        if (!started) lines.erase(lines.begin(), lines.begin() + 5);
        std::vector<Line> expected{{5, 85, "Show Curves (hotkey c): False"},
                                   {5, 65, "Show Points (hotkey p): False"},
                                   {5, 45, "Show Tangents (hotkey t): False"}};
        if (started) {
            expected.push_back({5, 25, "Show Intermediate Curves (hotkey i): True"});
        } else {
            expected.push_back({550, 45, "Press M to start morphing."});
        }
        ASSERT_GE(lines.size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(lines[k].x, expected[k].x);
            EXPECT_EQ(lines[k].y, expected[k].y);
            EXPECT_EQ(lines[k].text, expected[k].text);
        }
        if (started) {
            ASSERT_EQ(lines.size(), 8u);
            EXPECT_EQ(lines[6].text, "Press A to stop animation.");
            EXPECT_EQ(lines[7].text, "Show Intersections (hotkey x): True");
        } else {
            EXPECT_EQ(lines.size(), 4u);
        }
    }
}

TEST_F(StatusTest, QualityLineFormatsWithAlgorithmPhrase) {
    struct Case {
        int level;
        bool binary;
        std::string text;
    };
    const std::string q3 =
        "Quality (hotkey q): 3 - Precise Curvilinear Pixel-to-Curve Plot Interpolation (very "
        "slow) ";
    const Case cases[] = {
        {1, true, "Quality (hotkey q): 1 - Linear Pixel Translation (fast) " + kBinary},
        {1, false, "Quality (hotkey q): 1 - Linear Pixel Translation (fast) " + kRoots},
        {2, true, "Quality (hotkey q): 2 - Simple Curvilinear Pixel Translation (slow) " + kBinary},
        {2, false, "Quality (hotkey q): 2 - Simple Curvilinear Pixel Translation (slow) " + kRoots},
        {3, true, q3 + kBinary},
        {3, false, q3 + kRoots},
        {0, true, q3 + kBinary},  // out of range shows level 3
        {7, false, q3 + kRoots},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text);
        testfixtures::resetProgram();
        state.morphingStarted = true;
        state.qualityLevel = k.level;
        state.useBinarySearch = k.binary;
        drawStatusText();
        const auto lines = drawnLines();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[4].x, 5);
        EXPECT_EQ(lines[4].y, 5);
        EXPECT_EQ(lines[4].text, k.text);  // the longest, 141 characters, is not cut short
    }
}

TEST_F(StatusTest, ViewLineByViewMode) {
    const std::pair<int, const char*> cases[] = {{1, "Showing left image morph (hotkey s)"},
                                                 {2, "Showing right image morph (hotkey s)"},
                                                 {3, "Showing both image morphs (hotkey s)"},
                                                 {-1, "Showing both image morphs (hotkey s)"}};
    for (const auto& [mode, text] : cases) {
        SCOPED_TRACE(mode);
        state.morphingStarted = true;
        state.viewMode = mode;
        gldouble::reset();
        drawStatusText();
        const auto lines = drawnLines();
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[5].x, 920);
        EXPECT_EQ(lines[5].y, 45);
        EXPECT_EQ(lines[5].text, text);
    }
}

TEST_F(StatusTest, EveryLineIsWhiteBitmapTextAtDepthZero) {
    for (bool started : {false, true}) {
        state.morphingStarted = started;
        gldouble::reset();
        drawStatusText();
        const auto& log = gldouble::glLog;
        int rasters = 0;
        for (size_t k = 0; k < log.size(); ++k) {
            if (log[k].name == "glRasterPos3f") {
                ++rasters;
                ASSERT_GT(k, 0u);
                EXPECT_EQ(log[k - 1].str, "glColor3f(1, 1, 1)");
            } else if (log[k].name == "glutBitmapCharacter") {
                EXPECT_EQ(log[k].str.rfind("glutBitmapCharacter(GLUT_BITMAP_9_BY_15", 0), 0u);
            } else {
                EXPECT_EQ(log[k].name, "glColor3f");
            }
        }
        EXPECT_EQ(rasters, started ? 8 : 9);
    }
}

TEST_F(StatusTest, DrawTextEmitsEachCharacterAfterItsRasterPosition) {
    drawText(1.5f, 2.25f, 0, GLUT_BITMAP_9_BY_15, "Ab 9");
    EXPECT_EQ(gldouble::strings(),
              (std::vector<std::string>{"glColor3f(1, 1, 1)", "glRasterPos3f(1.5, 2.25, 0)",
                                        "glutBitmapCharacter(GLUT_BITMAP_9_BY_15, 'A')",
                                        "glutBitmapCharacter(GLUT_BITMAP_9_BY_15, 'b')",
                                        "glutBitmapCharacter(GLUT_BITMAP_9_BY_15, ' ')",
                                        "glutBitmapCharacter(GLUT_BITMAP_9_BY_15, '9')"}));
}

TEST_F(StatusTest, SliderTrackHandleAndLabelFollowMorphT) {
    struct Case {
        float morphT;
        const char* left;
        const char* right;
        const char* label;
    };
    const Case cases[] = {{0.0f, "343", "357", "0.000000"},
                          {0.5f, "618", "632", "0.500000"},
                          {1.0f, "893", "907", "1.000000"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.label);
        state.morphT = k.morphT;
        gldouble::reset();
        drawSlider();
        const std::string l = k.left, r = k.right;
        EXPECT_EQ(gldouble::strings({"glBegin", "glVertex2f", "glEnd"}),
                  (std::vector<std::string>{
                      "glBegin(GL_QUADS)", "glVertex2f(335, 70)", "glVertex2f(335, 45)",
                      "glVertex2f(915, 45)", "glVertex2f(915, 70)", "glEnd()",
                      "glBegin(GL_QUADS)", "glVertex2f(" + l + ", 65)", "glVertex2f(" + l + ", 50)",
                      "glVertex2f(" + r + ", 50)", "glVertex2f(" + r + ", 65)", "glEnd()"}));
        const auto texts = gldouble::texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].x, std::stod(l));
        EXPECT_EQ(texts[0].y, 75);
        EXPECT_EQ(texts[0].z, 0);
        EXPECT_EQ(texts[0].text, k.label);
    }
}

TEST_F(StatusTest, SliderHandleCentreIsComputedInFloatingPoint) {
    // 550 * 0.01 + 350 = 355.5: the handle is not snapped to whole pixels, and the
    // label prints the float widened to double.
    state.morphT = 0.01f;
    drawSlider();
    const auto vertices = gldouble::strings({"glVertex2f"});
    ASSERT_EQ(vertices.size(), 8u);
    EXPECT_EQ(gldouble::glLog[0].name, "glColor3f");
    int handle = 0;
    for (const gldouble::Call& c : gldouble::glLog) {
        if (c.name != "glVertex2f" || c.args[1] > 65 || c.args[1] < 50) continue;
        EXPECT_TRUE(c.args[0] == 348.5 || c.args[0] == 362.5) << c.args[0];
        ++handle;
    }
    EXPECT_EQ(handle, 4);
    EXPECT_EQ(gldouble::texts().at(0).text, "0.010000");
    EXPECT_EQ(gldouble::texts().at(0).x, 348.5);
}

}  // namespace
}  // namespace mw
