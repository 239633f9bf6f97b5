// Start-up, reshape, display order and the keyboard commands.
#include <gtest/gtest.h>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        state = ProgramState{};
        store = CurveStore{};
        gldouble::reset();
    }
};

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
        EXPECT_EQ(gldouble::count("glutPostRedisplay"), 1) << key;
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

TEST_F(ShellTest, StartUpRegistersHandlersInOrderAndCleansUpAfterTheMainLoop) {
    char name[] = "morphing-workstation";
    char* argv[] = {name, nullptr};
    // The pictures are absent here; start-up must stop cleanly with status 1.
    const int status = runWorkstation(1, argv);
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
    EXPECT_STREQ(state.leftImagePath.data(), "IMAGES/imageLeft.bmp");
    EXPECT_STREQ(state.rightImagePath.data(), "IMAGES/imageRight.bmp");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(gldouble::count("glutMainLoop"), 0);
    EXPECT_EQ(gldouble::count("glutDestroyWindow"), 1);
}

}  // namespace
}  // namespace mw
