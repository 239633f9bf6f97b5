// Undo and redo through the keys, over every kind of edit, and the history's bounds.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

constexpr unsigned char kCtrlY = 25, kCtrlZ = 26;

// Gestures at GL positions (y up).
void button(int which, int upOrDown, int x, int y) {
    onMouse(which, upOrDown, x, 600 - y);
}
void click(int x, int y) {
    button(GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
    button(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
}
// Three motion events, each followed by the display pass it causes.
void drag(int x0, int y0, int x, int y) {
    button(GLUT_LEFT_BUTTON, GLUT_DOWN, x0, y0);
    for (int k = 1; k <= 3; ++k) {
        onMotion(x0 + (x - x0) * k / 3, 600 - (y0 + (y - y0) * k / 3));
        onDisplay();
    }
    button(GLUT_LEFT_BUTTON, GLUT_UP, x, y);
}

class HistoryTest : public testfixtures::CleanProgram {};

TEST_F(HistoryTest, UndoAndRedoWalkThroughEveryKindOfEditBitForBit) {
    std::vector<std::vector<std::vector<uint32_t>>> seen = {testfixtures::bankContents()};
    const auto edit = [&](auto gesture) {
        gesture();
        onDisplay();
        seen.push_back(testfixtures::bankContents());
    };
    for (int y : {490, 330, 250, 110}) edit([=] { click(118, y); });
    edit([] { button(GLUT_RIGHT_BUTTON, GLUT_UP, 425, 300); });  // ends the curve
    for (int x : {60, 170, 200, 390}) edit([=] { click(x, 240); });
    edit([] { drag(918, 330, 940, 350); });  // a right point
    edit([] { drag(100, 240, 104, 260); });  // the horizontal curve's first tangent handle
    // Deletes that first point and its mirror: the drawing derives the leading
    // phantom point again, which undo must give back as it was.
    edit([] { button(GLUT_RIGHT_BUTTON, GLUT_UP, 60, 240); });
    // Neither the slider nor a letter key is an edit.
    const size_t steps = history.steps.size();
    ASSERT_EQ(steps, seen.size() - 1);
    onKeyboard('t', 0, 0);
    drag(625, 37, 700, 37);
    EXPECT_EQ(history.steps.size(), steps);

    for (size_t k = seen.size() - 1; k > 0; --k) {
        onKeyboard(kCtrlZ, 0, 0);
        onDisplay();
        EXPECT_EQ(testfixtures::bankContents(), seen[k - 1]) << "undo to " << k - 1;
    }
    EXPECT_FALSE(undoEdit());
    for (size_t k = 1; k < seen.size(); ++k) {  // Ctrl+Shift+Z and Ctrl+Y by turns
        gldouble::modifiers = k % 2 ? GLUT_ACTIVE_CTRL | GLUT_ACTIVE_SHIFT : GLUT_ACTIVE_CTRL;
        onKeyboard(k % 2 ? kCtrlZ : kCtrlY, 0, 0);
        onDisplay();
        EXPECT_EQ(testfixtures::bankContents(), seen[k]) << "redo to " << k;
    }

    // Undo in the middle of a drag: the point goes back and stays there, the
    // release adds nothing, and no step is left to redo after the next edit.
    button(GLUT_LEFT_BUTTON, GLUT_DOWN, 118, 490);
    onMotion(120, 600 - 488);
    onKeyboard(kCtrlZ, 0, 0);
    onMotion(160, 600 - 450);
    button(GLUT_LEFT_BUTTON, GLUT_UP, 160, 450);
    onDisplay();
    EXPECT_EQ(testfixtures::bankContents(), seen.back());
    click(300, 300);
    EXPECT_FALSE(redoEdit());

    // Only the newest steps are kept, each holding just the curves it changed: all of
    // them together less than one copy of the store.
    for (int k = 0; k < kHistorySteps; ++k) click(60 + k, 100 + k);
    EXPECT_EQ(static_cast<int>(history.steps.size()), kHistorySteps);
    EXPECT_LT(history.bytes, sizeof(CurveStore));
}

}  // namespace
}  // namespace mw
