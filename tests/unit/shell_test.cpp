// Start-up, reshape, display order and the keyboard commands.
#include <gtest/gtest.h>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

#include <SOIL/SOIL.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

namespace mw {
namespace {

class ShellTest : public testfixtures::CleanProgram {};

TEST_F(ShellTest, InitialStateMatchesStartUpValues) {
    const ProgramState s;
    EXPECT_TRUE(s.showTangents);
    EXPECT_TRUE(s.showPoints);
    EXPECT_TRUE(s.showCurves);
    EXPECT_FALSE(s.showIntermediate);
    EXPECT_FALSE(s.showIntersections);
    EXPECT_TRUE(s.useBinarySearch);
    EXPECT_EQ(s.qualityLevel, 1);
    EXPECT_EQ(s.viewMode, 3);
    EXPECT_EQ(s.morphT, 0.5f);
    EXPECT_FALSE(s.morphingStarted);
    EXPECT_FALSE(s.animationRunning);
    EXPECT_EQ(s.imageSequenceNumber, 0);
    EXPECT_TRUE(s.exportFrames);
    EXPECT_EQ(s.pickRadius, 8);
    EXPECT_EQ(s.selectedPoint, -1);
    EXPECT_EQ(s.selectedTangent, -1);
    EXPECT_EQ(s.leftButtonDown, 0);
    EXPECT_EQ(s.dragging, 0);
    EXPECT_EQ(s.sequencePath[0], '\0');
    EXPECT_EQ(sizeof s.showTangents, 1u);
}

TEST_F(ShellTest, QualityAndViewCycleThroughOneToThree) {
    const int expectedQuality[] = {2, 3, 1, 2};
    const int expectedView[] = {1, 2, 3, 1};
    for (int k = 0; k < 4; ++k) {
        onKeyboard(k % 2 ? 'q' : 'Q', 0, 0);
        onKeyboard(k % 2 ? 's' : 'S', 0, 0);
        EXPECT_EQ(state.qualityLevel, expectedQuality[k]);
        EXPECT_EQ(state.viewMode, expectedView[k]);
    }
}

TEST_F(ShellTest, TogglesFlipIndependentlyInEitherCase) {
    struct Case {
        char key;
        bool ProgramState::*flag;
    };
    const Case cases[] = {{'i', &ProgramState::showIntermediate},
                          {'t', &ProgramState::showTangents},
                          {'p', &ProgramState::showPoints},
                          {'c', &ProgramState::showCurves},
                          {'x', &ProgramState::showIntersections},
                          {'b', &ProgramState::useBinarySearch}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.key);
        const ProgramState before = state;
        onKeyboard(k.key, 0, 0);
        EXPECT_NE(state.*k.flag, before.*k.flag);
        for (const Case& other : cases) {
            if (other.flag != k.flag) {
                EXPECT_EQ(state.*other.flag, before.*other.flag);
            }
        }
        onKeyboard(static_cast<char>(k.key - 'a' + 'A'), 0, 0);
        EXPECT_EQ(state.*k.flag, before.*k.flag);
    }
}

TEST_F(ShellTest, MorphingCannotBeSwitchedOff) {
    onKeyboard('m', 0, 0);
    EXPECT_TRUE(state.morphingStarted);
    onKeyboard('M', 0, 0);
    EXPECT_TRUE(state.morphingStarted);
}

TEST_F(ShellTest, OnlyKeysOfTheTableRequestARedisplay) {
    for (unsigned char key : std::string("MITPCQSXBmitpcqsxb")) {
        gldouble::reset();
        onKeyboard(key, 0, 0);
        // Key S after M also recomposes, which requests a redisplay of its own.
        EXPECT_GE(gldouble::count("glutPostRedisplay"), 1) << key;
    }
    const ProgramState before = state;
    for (unsigned char key : std::string("zZ1 \x1b\r")) {
        gldouble::reset();
        onKeyboard(key, 0, 0);
        EXPECT_TRUE(gldouble::glLog.empty()) << int(key);
    }
    EXPECT_EQ(state.qualityLevel, before.qualityLevel);
    EXPECT_EQ(state.viewMode, before.viewMode);
}

TEST_F(ShellTest, ReshapeKeepsTheProjectionAt1250By600AndIgnoresZeroSizes) {
    onReshape(625, 300);
    EXPECT_EQ(gldouble::strings(),
              (std::vector<std::string>{"glViewport(0, 0, 625, 300)",
                                        "glMatrixMode(GL_PROJECTION)", "glLoadIdentity()",
                                        "gluOrtho2D(0, 1250, 0, 600)"}));
    gldouble::reset();
    onReshape(0, 300);
    onReshape(625, 0);
    EXPECT_TRUE(gldouble::glLog.empty());
}

// Index of the first logged call equal to `call` at or after `from`, or -1.
int indexOf(const std::string& call, int from = 0) {
    const std::vector<std::string> log = gldouble::strings();
    for (int k = from; k < static_cast<int>(log.size()); ++k)
        if (log[k] == call) return k;
    return -1;
}

TEST_F(ShellTest, DisplayPassRunsItsStepsInTheFixedOrder) {
    // One three-point curve on the left and its mirror, morphing, crossings shown.
    for (int y : {400, 300, 200}) appendPointPair(200, y);
    state.morphingStarted = true;
    state.showIntersections = true;
    morph.intersectionCount = 2;
    morph.intersectionPoints[0] = 620.5f;
    morph.intersectionPoints[1] = 333.9f;

    onDisplay();
    const std::vector<std::string> log = gldouble::strings();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "glClear(GL_COLOR_BUFFER_BIT)");
    const int statusText = indexOf("glRasterPos3f(5, 85, 0)");
    const int imageQuads = indexOf("glPolygonMode(GL_FRONT_AND_BACK, GL_FILL)");
    const int lineMode = indexOf("glPolygonMode(GL_FRONT_AND_BACK, GL_LINE)");
    const int frames = indexOf("glVertex2f(50, 100)", lineMode);
    const int slider = indexOf("glVertex2f(335, 70)");
    const int firstStrip = indexOf("glBegin(GL_LINE_STRIP)");
    const int crossing = indexOf("glVertex2i(620, 333)");
    for (int step : {statusText, imageQuads, lineMode, frames, slider, firstStrip, crossing})
        EXPECT_GE(step, 0);
    EXPECT_LT(statusText, imageQuads);
    EXPECT_LT(imageQuads, lineMode);
    EXPECT_LT(lineMode, frames);
    EXPECT_LT(frames, slider);
    EXPECT_LT(slider, firstStrip);
    EXPECT_GT(crossing, firstStrip);
    EXPECT_EQ(log[log.size() - 2], "glutSwapBuffers()");
    EXPECT_EQ(log.back(), "glFlush()");
    // The intermediate bank was rebuilt before it was drawn: curve 2 got the left
    // curve's points and its trailing phantom was stored by drawing it.
    EXPECT_EQ(store.pointCount[2], 3);
    EXPECT_EQ(store.controlPoints[slotOf(2, 0)], 200.0f + 400.0f);
}

TEST_F(ShellTest, DisplayPassBeforeMorphingDrawsNoSliderAndBuildsNoIntermediateNet) {
    for (int y : {400, 300, 200}) appendPointPair(200, y);
    onDisplay();
    EXPECT_EQ(indexOf("glVertex2f(335, 70)"), -1);
    EXPECT_EQ(store.pointCount[2], 0);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0);
}

TEST_F(ShellTest, AnimationStepComposesBeforeTheIntermediateNetIsRebuilt) {
    for (int y : {400, 300, 200}) appendPointPair(200, y);
    state.morphingStarted = true;
    state.animationRunning = true;
    state.exportFrames = false;
    state.morphT = 0.25f;
    onDisplay();
    EXPECT_EQ(state.morphT, 0.26f);
    const int upload = indexOf("glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 293, 0, GL_RGB, "
                               "GL_UNSIGNED_BYTE)");
    const int slider = indexOf("glVertex2f(335, 70)");
    ASSERT_GE(upload, 0);
    EXPECT_LT(upload, slider);
    EXPECT_EQ(gldouble::count("glutPostRedisplay"), 1);  // the next step's display
}

TEST_F(ShellTest, KeySComposesOnlyOnceMorphingHasStarted) {
    onKeyboard('s', 0, 0);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 0);
    onKeyboard('m', 0, 0);
    onKeyboard('S', 0, 0);
    EXPECT_EQ(gldouble::count("glTexImage2D"), 1);
    EXPECT_EQ(state.viewMode, 2);
}

// Runs start-up in a fresh working directory; `pictures` writes IMAGES/ there.
int startInTemporaryDirectory(bool pictures) {
    namespace fs = std::filesystem;
    const fs::path home = fs::current_path();
    const fs::path dir = fs::temp_directory_path() / ("mw-shell-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "IMAGES");
    fs::current_path(dir);
    if (pictures) {
        std::vector<unsigned char> red(6 * 5 * 3, 0);
        for (size_t k = 0; k < red.size(); k += 3) red[k] = 255;
        SOIL_save_image("IMAGES/imageLeft.bmp", SOIL_SAVE_TYPE_BMP, 6, 5, 3, red.data());
        SOIL_save_image("IMAGES/imageRight.bmp", SOIL_SAVE_TYPE_BMP, 6, 5, 3, red.data());
    }
    char name[] = "morphing-workstation";
    char* argv[] = {name, nullptr};
    const int status = runWorkstation(1, argv);
    fs::current_path(home);
    fs::remove_all(dir);
    return status;
}

TEST_F(ShellTest, StartUpRegistersHandlersInOrderAndCleansUpAfterTheMainLoop) {
    const int status = startInTemporaryDirectory(true);
    const std::vector<std::string> head = {
        "glutInit(1)",
        "glutInitDisplayMode(2)",
        "glutInitWindowSize(1250, 600)",
        "glutCreateWindow(\"Image Morphing Using Catmull-Rom & Hermite Curves - 1250x600 - "
        "VELQ204T - Brannoch 480251739\")",
        "glClearColor(0.2, 0.2, 1, 0)",
        "glutDisplayFunc()",
        "glutReshapeFunc()",
        "glutKeyboardFunc()",
        "glutMouseFunc()",
        "glutMotionFunc()",
    };
    const std::vector<std::string> log = gldouble::strings();
    ASSERT_GE(log.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + head.size()), head);
    EXPECT_EQ(gldouble::callbacks.display, &onDisplay);
    EXPECT_EQ(gldouble::callbacks.motion, &onMotion);
    EXPECT_STREQ(state.leftImagePath.data(), "IMAGES/imageLeft.bmp");
    EXPECT_STREQ(state.rightImagePath.data(), "IMAGES/imageRight.bmp");
    EXPECT_EQ(status, 0);
    // After the main loop returns: left, right, morph texture deleted in that order.
    const std::vector<std::string> deletes = gldouble::strings({"glDeleteTextures"});
    EXPECT_EQ(deletes, (std::vector<std::string>{
                           "glDeleteTextures(1, " + std::to_string(images.leftTexture) + ")",
                           "glDeleteTextures(1, " + std::to_string(images.rightTexture) + ")",
                           "glDeleteTextures(1, " + std::to_string(images.morphTexture) + ")"}));
    EXPECT_LT(indexOf("glutMainLoop()"), indexOf(deletes.front()));
}

TEST_F(ShellTest, StartUpWithoutPicturesStopsWithStatusOneAndNoWindowLeft) {
    EXPECT_EQ(startInTemporaryDirectory(false), 1);
    EXPECT_EQ(gldouble::count("glutMainLoop"), 0);
    EXPECT_EQ(gldouble::count("glutDestroyWindow"), 1);
}

}  // namespace
}  // namespace mw
