// Mouse editing, driven through the handlers as the toolkit calls them. Positions
// in these tests are GL pixels (y up); the helpers turn them into window pixels.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>

#include "app/state.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

int windowY(int glY) {
    return 600 - glY;
}

void press(int x, int y) {
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, windowY(y));
}
void release(int x, int y) {
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, windowY(y));
}
void moveTo(int x, int y) {
    onMotion(x, windowY(y));
}
void click(int x, int y) {
    press(x, y);
    release(x, y);
}
void rightClick(int x, int y) {
    onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, x, windowY(y));
    onMouse(GLUT_RIGHT_BUTTON, GLUT_UP, x, windowY(y));
}
// Press at (x0, y0), move to (x, y), release there.
void drag(int x0, int y0, int x, int y) {
    press(x0, y0);
    moveTo(x, y);
    release(x, y);
}

struct Pos {
    float x, y;
    bool operator==(const Pos&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Pos& p) {
    return os << "(" << p.x << ", " << p.y << ")";
}

Pos pointAt(int c, int j) {
    return {store.controlPoints[slotOf(c, j)], store.controlPoints[slotOf(c, j) + 1]};
}
Pos tangentAt(int c, int j) {
    return {store.tangents[slotOf(c, j)], store.tangents[slotOf(c, j) + 1]};
}

void expectIdleDragState() {
    EXPECT_EQ(state.leftButtonDown, 0);
    EXPECT_EQ(state.dragging, 0);
    EXPECT_EQ(state.pickRadius, 8);
    EXPECT_EQ(state.selectedPoint, -1);
    EXPECT_EQ(state.selectedTangent, -1);
}

int redisplays() {
    return gldouble::count("glutPostRedisplay");
}

class EditingTest : public testfixtures::CleanProgram {};

TEST_F(EditingTest, LeftReleaseWithoutDragAddsAPairAtTheReleasePosition) {
    struct Case {
        const char* name;
        void (*gesture)();
        Pos at;
    };
    const Case cases[] = {
        {"click", [] { click(120, 350); }, {120, 350}},
        {"move grabbing nothing", [] { drag(120, 350, 140, 300); }, {140, 300}},
        {"outside the panels", [] { click(30, 580); }, {30, 580}},
        // The slider handle sits at x 625 for morphT 0.5; without motion it is a click.
        {"on the slider handle", [] { click(625, 37); }, {625, 37}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        testfixtures::resetProgram();
        k.gesture();
        EXPECT_EQ(store.pointCount[0], 1);
        EXPECT_EQ(store.pointCount[1], 1);
        EXPECT_EQ(pointAt(0, 0), k.at);
        EXPECT_EQ(pointAt(1, 0), (Pos{k.at.x + 800, k.at.y}));
        EXPECT_EQ(redisplays(), 1);
        EXPECT_EQ(state.morphT, 0.5f);
        EXPECT_EQ(state.leftButtonDown, 1) << "a point-adding release keeps the button state";
    }
}

TEST_F(EditingTest, ClickOnAPointAddsAnotherAndNeverSelects) {
    click(100, 200);
    click(100, 200);
    EXPECT_EQ(store.pointCount[0], 2);
    EXPECT_EQ(pointAt(0, 1), (Pos{100, 200}));
    EXPECT_EQ(state.selectedPoint, -1);
    EXPECT_EQ(state.dragging, 0);
}

TEST_F(EditingTest, PressMoveReleaseMovesOnlyTheGrabbedPoint) {
    click(100, 200);
    gldouble::reset();
    drag(100, 200, 105, 206);
    EXPECT_EQ(store.pointCount[0], 1) << "the release after a drag adds nothing";
    EXPECT_EQ(pointAt(0, 0), (Pos{105, 206}));
    EXPECT_EQ(pointAt(1, 0), (Pos{900, 200})) << "the mirror does not follow";
    EXPECT_EQ(redisplays(), 1);
    expectIdleDragState();

    drag(900, 200, 906, 194);
    EXPECT_EQ(pointAt(1, 0), (Pos{906, 194}));
    EXPECT_EQ(pointAt(0, 0), (Pos{105, 206})) << "the left partner stays";
    EXPECT_EQ(store.pointCount[1], 1);
}

TEST_F(EditingTest, PickRadiusIsStrictInXAndY) {
    struct Case {
        int dx, dy;
        bool hit;
    };
    const Case cases[] = {{7, 0, true},  {8, 0, false}, {-7, 0, true}, {-8, 0, false},
                          {0, 7, true},  {0, 8, false}, {0, -7, true}, {0, -8, false},
                          {7, -7, true}, {7, 8, false}};
    for (const Case& k : cases) {
        SCOPED_TRACE("offset " + std::to_string(k.dx) + ", " + std::to_string(k.dy));
        // Grabbing with a drag.
        testfixtures::resetProgram();
        appendPointPair(100, 200);
        press(100 + k.dx, 200 + k.dy);
        moveTo(100 + k.dx, 200 + k.dy);
        EXPECT_EQ(pointAt(0, 0), k.hit ? (Pos{100.0f + k.dx, 200.0f + k.dy}) : (Pos{100, 200}));
        EXPECT_EQ(state.selectedPoint, k.hit ? slotOf(0, 0) : -1);

        // Deleting with a right click; a miss ends the curve instead.
        testfixtures::resetProgram();
        appendPointPair(100, 200);
        rightClick(100 + k.dx, 200 + k.dy);
        EXPECT_EQ(store.pointCount[0], k.hit ? 0 : 1);
        EXPECT_EQ(store.curveCount, k.hit ? 2 : 4);
    }
}

TEST_F(EditingTest, OneRightReleaseDeletesEveryPointInReach) {
    appendPointPair(100, 200);
    appendPointPair(150, 300);
    startNextCurve();
    appendPointPair(103, 203);
    gldouble::reset();

    rightClick(101, 201);
    EXPECT_EQ(store.pointCount[0], 1);
    EXPECT_EQ(store.pointCount[2], 1);
    EXPECT_EQ(pointAt(0, 0), (Pos{150, 300}));
    EXPECT_EQ(pointAt(2, 0), (Pos{950, 300}));
    EXPECT_EQ(store.pointCount[1], 0);
    EXPECT_EQ(store.pointCount[3], 0);
    EXPECT_EQ(store.curveCount, 4) << "a deleting right click does not end the curve";
    EXPECT_EQ(redisplays(), 2);
    expectIdleDragState();
}

TEST_F(EditingTest, PointMovingIntoADeletedPositionIsSparedThatRelease) {
    appendPointPair(100, 200);
    appendPointPair(102, 202);
    appendPointPair(300, 300);
    rightClick(101, 201);
    ASSERT_EQ(store.pointCount[0], 2);
    EXPECT_EQ(pointAt(0, 0), (Pos{102, 202}));
    EXPECT_EQ(pointAt(1, 0), (Pos{902, 202}));
    rightClick(101, 201);
    EXPECT_EQ(store.pointCount[0], 1);
    EXPECT_EQ(pointAt(0, 0), (Pos{300, 300}));
}

TEST_F(EditingTest, RightClickOnAMirrorPointDeletesItsLeftPartner) {
    click(100, 200);
    click(150, 250);
    click(200, 300);
    rightClick(950, 250);
    EXPECT_EQ(store.pointCount[0], 2);
    EXPECT_EQ(store.pointCount[1], 2);
    EXPECT_EQ(pointAt(0, 1), (Pos{200, 300}));
    EXPECT_EQ(pointAt(1, 1), (Pos{1000, 300}));
}

TEST_F(EditingTest, RightClickOnAnEmptySpotEndsANonEmptyCurveOnly) {
    rightClick(600, 300);
    EXPECT_EQ(store.curveCount, 2);
    EXPECT_EQ(redisplays(), 0);

    click(100, 450);
    gldouble::reset();
    rightClick(600, 300);
    EXPECT_EQ(store.curveCount, 4);
    EXPECT_EQ(store.curveCursor, 3);
    EXPECT_EQ(redisplays(), 0) << "ending a curve requests no redisplay";

    click(200, 450);
    EXPECT_EQ(pointAt(1, 0), (Pos{200, 450}));
    EXPECT_EQ(pointAt(3, 0), (Pos{1000, 450}));
    EXPECT_EQ(pointAt(2, 0), (Pos{900, 450})) << "the first mirror moved up one curve";
}

TEST_F(EditingTest, EveryOtherButtonEventResetsTheDragState) {
    struct Case {
        int button, buttonState;
    };
    const Case cases[] = {{GLUT_MIDDLE_BUTTON, GLUT_DOWN},
                          {GLUT_MIDDLE_BUTTON, GLUT_UP},
                          {GLUT_RIGHT_BUTTON, GLUT_DOWN},
                          {3, GLUT_DOWN},
                          {4, GLUT_UP},
                          {GLUT_LEFT_BUTTON, GLUT_UP}};
    for (const Case& k : cases) {
        SCOPED_TRACE("button " + std::to_string(k.button) + " state " +
                     std::to_string(k.buttonState));
        testfixtures::resetProgram();
        appendPointPair(100, 200);
        press(100, 200);
        moveTo(101, 200);
        moveTo(102, 200);
        ASSERT_EQ(state.pickRadius, 1000);
        onMouse(k.button, k.buttonState, 102, windowY(200));
        expectIdleDragState();
        EXPECT_EQ(store.pointCount[0], 1);
        EXPECT_EQ(store.curveCount, 2);
    }
}

TEST_F(EditingTest, MotionWithoutALeftPressDoesNothing) {
    appendPointPair(100, 200);
    moveTo(102, 202);
    EXPECT_EQ(pointAt(0, 0), (Pos{100, 200}));
    EXPECT_EQ(state.dragging, 0);
    EXPECT_EQ(redisplays(), 0);
}

TEST_F(EditingTest, HeldPointFollowsAJumpingPointerAndPassesOverOthers) {
    appendPointPair(100, 200);
    appendPointPair(200, 200);
    press(100, 200);
    moveTo(101, 200);
    EXPECT_EQ(state.pickRadius, 8) << "the first motion grabs with the pick radius";
    moveTo(190, 200);  // 89 pixels in one event, landing next to the other point
    EXPECT_EQ(state.pickRadius, 1000);
    EXPECT_EQ(pointAt(0, 0), (Pos{190, 200}));
    moveTo(300, 150);  // over the other point and beyond
    EXPECT_EQ(pointAt(0, 0), (Pos{300, 150}));
    EXPECT_EQ(pointAt(0, 1), (Pos{200, 200}));
    EXPECT_EQ(state.selectedPoint, slotOf(0, 0));
    EXPECT_EQ(redisplays(), 3);
}

TEST_F(EditingTest, StoreOrderDecidesWhichOfTwoPointsInReachIsHeld) {
    appendPointPair(100, 200);
    startNextCurve();
    appendPointPair(104, 200);
    press(102, 200);
    moveTo(102, 200);
    EXPECT_EQ(state.selectedPoint, slotOf(0, 0));
    EXPECT_EQ(pointAt(0, 0), (Pos{102, 200}));
    EXPECT_EQ(pointAt(1, 0), (Pos{104, 200}));
}

TEST_F(EditingTest, DraggingATangentHandleSetsTheTangentAndItsFlag) {
    appendPointPair(100, 200);
    // A handle on top of its point: the point wins.
    drag(100, 200, 103, 203);
    EXPECT_EQ(pointAt(0, 0), (Pos{103, 203}));
    EXPECT_EQ(tangentAt(0, 0), (Pos{0, 0}));
    EXPECT_EQ(store.tangentSet[slotOf(0, 0)], 0);

    // The tangent the drawing of a curve stores puts the handle at (133, 213).
    store.tangents[slotOf(0, 0)] = 30;
    store.tangents[slotOf(0, 0) + 1] = 10;
    gldouble::reset();
    press(133, 213);
    moveTo(135, 215);
    EXPECT_EQ(tangentAt(0, 0), (Pos{32, 12}));
    EXPECT_EQ(store.tangentSet[slotOf(0, 0)], 1);
    EXPECT_EQ(state.selectedTangent, slotOf(0, 0));
    EXPECT_EQ(state.selectedPoint, -1);
    moveTo(80, 260);  // far beyond the pick radius, still held
    EXPECT_EQ(tangentAt(0, 0), (Pos{-23, 57}));
    EXPECT_EQ(pointAt(0, 0), (Pos{103, 203}));
    EXPECT_EQ(tangentAt(1, 0), (Pos{0, 0}));
    EXPECT_EQ(store.tangentSet[slotOf(1, 0)], 0);
    EXPECT_EQ(redisplays(), 2);
    release(80, 260);
    EXPECT_EQ(store.pointCount[0], 1);
    EXPECT_EQ(store.tangentSet[slotOf(0, 0)], 1) << "the flag outlives the drag";
}

TEST_F(EditingTest, SliderDragSetsMorphTOnlyWithinTheTrack) {
    struct Case {
        float morphT;  // handle at 350 + 550 * morphT
        int x, y;
        float expected;
        bool grabbed;
    };
    const Case cases[] = {
        {0.5f, 600, 37, 250.0f / 550.0f, true},
        {0.02f, 350, 37, 0.0f, true},
        {0.98f, 900, 37, 1.0f, true},
        {0.0f, 340, 37, 0.0f, true},   // beyond the left end: kept, still recomposed
        {1.0f, 915, 50, 1.0f, true},   // beyond the right end
        {0.3f, 400, 20, 0.3f, false},  // handle at 515: out of reach in x
        {0.5f, 654, 66, 1.0f * 304 / 550, true},
        {0.5f, 655, 37, 0.5f, false},  // exactly 30 from the handle's centre
        {0.5f, 625, 67, 0.5f, false},  // exactly 30 above y 37
        {0.5f, 625, 7, 0.5f, false},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE("morphT " + std::to_string(k.morphT) + " pointer " + std::to_string(k.x) +
                     ", " + std::to_string(k.y));
        testfixtures::resetProgram();
        state.morphT = k.morphT;
        press(k.x, k.y);
        moveTo(k.x, k.y);
        const bool grabbed = k.grabbed;
        EXPECT_EQ(state.morphT, grabbed ? k.expected : k.morphT);
        EXPECT_EQ(state.dragging, grabbed ? 1 : 0);
        EXPECT_EQ(gldouble::count("glTexImage2D"), grabbed ? 1 : 0) << "recomposed";
        EXPECT_EQ(redisplays(), grabbed ? 1 : 0);
        release(k.x, k.y);
        EXPECT_EQ(store.pointCount[0], grabbed ? 0 : 1);
    }
}

TEST_F(EditingTest, SliderHandleFollowsThePointerEventByEvent) {
    press(625, 37);
    for (int x = 600; x >= 350; x -= 25) moveTo(x, 37);
    EXPECT_EQ(state.morphT, 0.0f);
    moveTo(330, 37);
    EXPECT_EQ(state.morphT, 0.0f) << "held at the track's left end";
    moveTo(300, 37);  // 50 pixels in one event: the handle is lost
    EXPECT_EQ(state.morphT, 0.0f);
    moveTo(910, 37);
    EXPECT_EQ(state.morphT, 0.0f);
}

TEST_F(EditingTest, GesturesAtCapacityChangeNothing) {
    for (int j = 0; j < kMaxPointsPerCurve; ++j) appendPointPair(j % 300 + 60, 150);
    auto before = std::make_unique<CurveStore>(store);
    click(200, 300);
    EXPECT_EQ(store.pointCount[0], 498);
    EXPECT_EQ(store.controlPoints, before->controlPoints) << "a 499th point is refused";

    while (store.curveCount / 2 < kMaxCurvesPerBank) {
        rightClick(1240, 590);
        click(100, 300);
    }
    ASSERT_EQ(store.curveCount, 66);
    before = std::make_unique<CurveStore>(store);
    rightClick(1240, 590);
    EXPECT_EQ(store.curveCount, 66) << "a 34th curve per bank is refused";
    EXPECT_EQ(store.pointCount, before->pointCount);
    EXPECT_EQ(store.controlPoints, before->controlPoints);
}

TEST_F(EditingTest, PointerFarOutsideTheWindowGivesDefinedPositions) {
    // Window y of -2^31 is GL y 600 + 2^31, held to the int range; the mirror's
    // x is formed without int overflow.
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, INT_MAX, INT_MIN);
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, INT_MIN, INT_MAX);
    EXPECT_EQ(pointAt(0, 0), (Pos{2147483648.0f, 2147483648.0f}));
    EXPECT_EQ(pointAt(1, 0).x, 2147484416.0f);
    EXPECT_EQ(pointAt(0, 1), (Pos{-2147483648.0f, -2147483008.0f}));
    press(0, 0);
    onMotion(INT_MIN, INT_MIN);
    onMotion(INT_MAX, INT_MAX);
    EXPECT_EQ(state.morphT, 0.5f);
    EXPECT_EQ(store.pointCount[0], 2);
}

}  // namespace
}  // namespace mw
