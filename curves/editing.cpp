// editing.cpp -- the mouse gestures: clicks add point pairs, right clicks delete
// points or end the current curve, drags move a point, a tangent handle or the
// slider handle. The drag state lives in the program state; every edit is a step
// of the history.
#include <GL/freeglut.h>

#include <cmath>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"

namespace mw {

namespace {

// GL y of a window y: 600 - y in float, truncated. Always 600, whatever the
// window's size. Pointers far outside the window are held to the int range.
int glY(int y) {
    const float gl = std::trunc(windowHeight - static_cast<float>(y));
    if (gl >= 2147483648.0f) return 2147483647;
    return static_cast<int>(gl);  // never below -2^31: y >= -2^31 gives gl > -2^31
}

// Strictly closer than `radius` in x and in y, compared in float.
bool within(float px, float py, int x, int y, int radius) {
    const float r = static_cast<float>(radius);
    return std::fabs(px - static_cast<float>(x)) < r && std::fabs(py - static_cast<float>(y)) < r;
}

void resetDrag() {
    state.leftButtonDown = 0;
    state.dragging = 0;
    state.pickRadius = kPickRadius;
    state.selectedPoint = kNoSlot;
    state.selectedTangent = kNoSlot;
}

bool nothingHeld() {
    return state.selectedPoint == kNoSlot && state.selectedTangent == kNoSlot;
}

// Deletes every point of the left and right banks within reach of (x, y) with
// its partner. The point that moves into a deleted position is not tested again
// in this pass. Returns whether anything was deleted.
bool deletePointsAt(int x, int y) {
    bool pointDeleted = false;
    for (int c = 0; c < store.curveCount; ++c) {
        for (int j = 0; j < store.pointCount[c]; ++j) {
            const int s = slotOf(c, j);
            if (!within(store.controlPoints[s], store.controlPoints[s + 1], x, y, state.pickRadius))
                continue;
            removePointPair(c, j);
            pointDeleted = true;
            glutPostRedisplay();
        }
    }
    return pointDeleted;
}

// One motion event's scan in store order: the first point or tangent handle in
// reach is taken, and once something is held only that one follows the pointer.
// Taking it begins the drag's step of the history.
void dragPointOrHandle(int x, int y) {
    for (int c = 0; c < store.curveCount; ++c) {
        for (int j = 0; j < store.pointCount[c]; ++j) {
            const int s = slotOf(c, j);
            const float px = store.controlPoints[s];
            const float py = store.controlPoints[s + 1];
            if (within(px, py, x, y, state.pickRadius) &&
                (nothingHeld() || state.selectedPoint == s)) {
                if (nothingHeld()) beginEdit();
                store.controlPoints[s] = static_cast<float>(x);
                store.controlPoints[s + 1] = static_cast<float>(y);
                state.dragging = 1;
                state.selectedPoint = s;
                glutPostRedisplay();
            } else if (within(px + store.tangents[s], py + store.tangents[s + 1], x, y,
                              state.pickRadius) &&
                       (nothingHeld() || state.selectedTangent == s)) {
                if (nothingHeld()) beginEdit();
                // The handle lands under the pointer.
                store.tangents[s] = static_cast<float>(x) - px;
                store.tangents[s + 1] = static_cast<float>(y) - py;
                store.tangentSet[s] = 1;
                state.dragging = 1;
                state.selectedTangent = s;
                glutPostRedisplay();
            }
        }
    }
}

// The slider has no grab of its own: every motion event tests the pointer
// against the handle's current place, whether or not the slider is shown.
void dragSlider(int x, int y) {
    const float trackLength = static_cast<float>(sliderRight - sliderLeft);
    const float handleX = static_cast<float>(sliderLeft) + trackLength * state.morphT;
    const float reach = static_cast<float>(2 * sliderHandleSize);
    if (!(std::fabs(handleX - static_cast<float>(x)) < reach &&
          std::fabs(sliderHitY - static_cast<float>(y)) < reach))
        return;
    state.dragging = 1;
    if (x >= sliderLeft && x <= sliderRight)
        state.morphT = static_cast<float>(x - sliderLeft) / trackLength;
    composeMorph();  // requests the redisplay
}

}  // namespace

// dragging stays 1, so the drag's release resets it instead of adding a point.
void letGoOfHeld() {
    if (nothingHeld()) return;
    state.leftButtonDown = 0;  // later motion events of this drag move nothing
    state.pickRadius = kPickRadius;
    state.selectedPoint = kNoSlot;
    state.selectedTangent = kNoSlot;
}

// Each gesture that edits the nets is one step of the history: a click, a right
// click, and a drag from the motion that takes a point or handle to the button
// event that resets the drag.
void onMouse(int button, int buttonState, int x, int windowY) {
    const int y = glY(windowY);
    if (button == GLUT_LEFT_BUTTON && buttonState == GLUT_UP && state.dragging == 0) {
        // A click anywhere adds a pair; it never selects.
        beginEdit();
        appendPointPair(x, y);
        endEdit();
        glutPostRedisplay();
        return;
    }
    if (button == GLUT_LEFT_BUTTON && buttonState == GLUT_DOWN) {
        state.leftButtonDown = 1;
        return;
    }
    resetDrag();
    endEdit();
    if (button != GLUT_RIGHT_BUTTON || buttonState != GLUT_UP) return;
    // A right click that deleted nothing ends the current curve (no redisplay).
    beginEdit();
    if (!deletePointsAt(x, y)) startNextCurve();
    endEdit();
}

void onMotion(int x, int windowY) {
    const int y = glY(windowY);
    if (state.leftButtonDown != 1) return;
    // A drag grabs with the pick radius and holds with the drag radius from its
    // second motion event on, so a fast pointer does not drop what it holds.
    if (state.dragging == 1 && !nothingHeld()) state.pickRadius = kDragRadius;
    dragPointOrHandle(x, y);
    dragSlider(x, y);
}

}  // namespace mw
