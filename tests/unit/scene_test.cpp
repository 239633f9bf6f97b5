// Scene drawing through the recording GL double: panel frames, control points,
// tangent lines, curves with the values they store, and the crossing overlay.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct Vec {
    float x;
    float y;
};

std::string num(double v) {
    std::string s = std::to_string(v);
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s;
}

std::string colourName(const gldouble::Call& c) {
    const double r = c.args[0], g = c.args[1], b = c.args[2];
    if (r == 0 && g == 1 && b == 0) return "g";
    if (r == 1 && g == 0 && b == 0) return "r";
    if (r == 1 && g == 1 && b == 1) return "w";
    if (r == 1 && g == 1 && b == 0) return "y";
    if (r == 0 && g == 0 && b == 1) return "b";
    if (r == 0 && g == 0 && b == 0) return "k";
    return "?";
}

// The log folded into one line per primitive: "point g6 100,200",
// "line r 100,200 100,250", "strip w 100,200 ... (11)", "quad w ...".
std::vector<std::string> primitives() {
    std::vector<std::string> out;
    std::string colour = "-", size = "-";
    std::string open;
    int vertices = 0;
    for (const gldouble::Call& c : gldouble::glLog) {
        if (c.name == "glColor3f") {
            colour = colourName(c);
            if (!open.empty() && colour != "w") open += " colour " + colour;  // strips are white
        } else if (c.name == "glPointSize") {
            size = num(c.args[0]);
        } else if (c.name == "glBegin") {
            const auto mode = static_cast<GLenum>(c.args[0]);
            vertices = 0;
            open = mode == GL_POINTS       ? "point"
                   : mode == GL_LINES      ? "line"
                   : mode == GL_LINE_STRIP ? "strip"
                   : mode == GL_QUADS      ? "quad"
                                           : "other";
            if (mode != GL_LINE_STRIP) open.append(" ").append(colour);
            if (mode == GL_POINTS) open.append(size);
        } else if (c.name.rfind("glVertex", 0) == 0) {
            open.append(" ").append(num(c.args[0])).append(",").append(num(c.args[1]));
            if (c.name == "glVertex3f") open.append(",").append(num(c.args[2]));
            ++vertices;
        } else if (c.name == "glEnd") {
            if (open.rfind("strip", 0) == 0) open += " (" + std::to_string(vertices) + ")";
            out.push_back(open);
            open.clear();
        } else {
            out.push_back(c.name);
        }
    }
    return out;
}

// What the segment drawings emit for the given arguments, folded like primitives().
std::vector<std::string> catmullRom(Vec a, Vec b, Vec c, Vec d) {
    const auto saved = gldouble::glLog;
    gldouble::glLog.clear();
    drawCatmullRomSegment(a.x, a.y, b.x, b.y, c.x, c.y, d.x, d.y);
    auto out = primitives();
    gldouble::glLog = saved;
    return out;
}
std::vector<std::string> hermite(Vec a, Vec b, Vec ta, Vec tb) {
    const auto saved = gldouble::glLog;
    gldouble::glLog.clear();
    drawHermiteSegment(a.x, a.y, b.x, b.y, ta.x, ta.y, tb.x, tb.y);
    auto out = primitives();
    gldouble::glLog = saved;
    return out;
}

std::string greenPoint(int x, int y) { return "point g6 " + num(x) + "," + num(y); }
// A tangent line from p to p + v and its red end dot.
std::vector<std::string> tangentLine(Vec p, Vec v) {
    const float ex = p.x + v.x, ey = p.y + v.y;
    return {"line r " + num(p.x) + "," + num(p.y) + ",0 " + num(ex) + "," + num(ey) + ",0",
            "point r3 " + num(std::trunc(ex)) + "," + num(std::trunc(ey))};
}

void append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::vector<std::string> strips() {
    std::vector<std::string> out;
    for (const std::string& p : primitives())
        if (p.rfind("strip", 0) == 0) out.push_back(p);
    return out;
}

// The first and last vertex of each strip, "x,y>x,y", with the vertex count.
std::vector<std::string> stripEnds() {
    std::vector<std::string> out;
    std::vector<std::pair<double, double>> strip;
    bool inStrip = false;
    for (const gldouble::Call& c : gldouble::glLog) {
        if (c.name == "glBegin") {
            inStrip = static_cast<GLenum>(c.args[0]) == GL_LINE_STRIP;
            strip.clear();
        } else if (inStrip && c.name == "glVertex2f") {
            strip.emplace_back(c.args[0], c.args[1]);
        } else if (inStrip && c.name == "glEnd") {
            out.push_back(num(strip.front().first) + "," + num(strip.front().second) + ">" +
                          num(strip.back().first) + "," + num(strip.back().second) + " (" +
                          std::to_string(strip.size()) + ")");
            inStrip = false;
        }
    }
    return out;
}

Vec point(int c, int k) {
    const int s = slotOf(c, k);
    return {store.controlPoints[s], store.controlPoints[s + 1]};
}
Vec tangent(int c, int k) {
    const int s = slotOf(c, k);
    return {store.tangents[s], store.tangents[s + 1]};
}
void setCurve(int c, const std::vector<Vec>& points) {
    store.pointCount[c] = static_cast<int>(points.size());
    for (int k = 0; k < static_cast<int>(points.size()); ++k) {
        store.controlPoints[slotOf(c, k)] = points[k].x;
        store.controlPoints[slotOf(c, k) + 1] = points[k].y;
    }
}
void setTangent(int c, int k, Vec t, bool userSet = true) {
    store.tangents[slotOf(c, k)] = t.x;
    store.tangents[slotOf(c, k) + 1] = t.y;
    store.tangentSet[slotOf(c, k)] = userSet ? 1 : 0;
}

#define EXPECT_VEC(actual, ex, ey)        \
    do {                                  \
        const Vec v_ = (actual);          \
        EXPECT_EQ(v_.x, ex);              \
        EXPECT_EQ(v_.y, ey);              \
    } while (0)

class SceneTest : public testfixtures::CleanProgram {};

const Vec P0{100, 200}, P1{150, 250}, P2{200, 200};

TEST_F(SceneTest, ThreePointCurveStoresDefaultsAndDrawsTwoCatmullRomPieces) {
    setCurve(0, {P0, P1, P2});
    drawCurve(0, false);

    EXPECT_VEC(tangent(0, 0), 0.0f, 50.0f);
    EXPECT_VEC(point(0, -1), 150.0f, 150.0f);
    EXPECT_VEC(tangent(0, 1), 50.0f, 0.0f);
    EXPECT_VEC(point(0, 3), 150.0f, 150.0f);
    EXPECT_VEC(tangent(0, 2), 0.0f, -50.0f);

    const Vec before{150, 150}, after{150, 150};
    std::vector<std::string> expected{greenPoint(100, 200)};
    append(expected, tangentLine(P0, {0, 50}));
    append(expected, catmullRom(before, P0, P1, P2));
    expected.push_back(greenPoint(150, 250));
    append(expected, tangentLine(P1, {50, 0}));
    append(expected, tangentLine(P2, {0, -50}));
    append(expected, catmullRom(P0, P1, P2, after));
    expected.push_back(greenPoint(200, 200));
    EXPECT_EQ(primitives(), expected);

    // The red dots end the three tangent lines.
    EXPECT_EQ(gldouble::strings({"glVertex2i"}),
              (std::vector<std::string>{"glVertex2i(100, 200)", "glVertex2i(100, 250)",
                                        "glVertex2i(150, 250)", "glVertex2i(200, 250)",
                                        "glVertex2i(200, 150)", "glVertex2i(200, 200)"}));
    // Two pieces of 11 vertices, from P0 to P1 and from P1 to P2.
    const auto ends = stripEnds();
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[0].substr(0, ends[0].find('>')), "100,200");
    EXPECT_EQ(ends[1].substr(0, ends[1].find('>')), "150,250");
    for (const std::string& e : ends) EXPECT_NE(e.find("(11)"), std::string::npos) << e;
}

TEST_F(SceneTest, LongerCurveUsesNeighboursForMiddleTangentsAndPhantoms) {
    const Vec Q0{60, 400}, Q1{70, 350}, Q2{64, 300}, Q3{80, 250}, Q4{75, 180};
    setCurve(0, {Q0, Q1, Q2, Q3, Q4});
    drawCurve(0, false);

    // First: D = (2*Q1 - Q2 - Q0) / 2; phantom before = Q1 - 2*D.
    EXPECT_VEC(tangent(0, 0), 8.0f, 0.0f);
    EXPECT_VEC(point(0, -1), 54.0f, 350.0f);
    EXPECT_VEC(tangent(0, 1), 2.0f, -50.0f);
    EXPECT_VEC(tangent(0, 2), 5.0f, -50.0f);
    // Second-to-last: D = (Q4 - Q2) / 2; phantom after = 2*Q4 - Q3 - 2*D; E = (after - Q3) / 2.
    EXPECT_VEC(tangent(0, 3), 5.5f, -60.0f);
    EXPECT_VEC(point(0, 5), 59.0f, 230.0f);
    EXPECT_VEC(tangent(0, 4), -10.5f, -10.0f);

    std::vector<std::string> expected = catmullRom({54, 350}, Q0, Q1, Q2);
    append(expected, catmullRom(Q0, Q1, Q2, Q3));
    append(expected, catmullRom(Q1, Q2, Q3, Q4));
    append(expected, catmullRom(Q2, Q3, Q4, {59, 230}));
    EXPECT_EQ(strips(), expected);
    EXPECT_EQ(stripEnds().size(), 4u);
}

TEST_F(SceneTest, UserSetTangentsTurnNeighbouringPiecesIntoHermitePieces) {
    const Vec set{30, 10}, stale{7, -7};
    struct Case {
        const char* name;
        int setPoint;  // which of the three points carries a user-set tangent
    };
    const Case cases[] = {{"first", 0}, {"middle", 1}, {"last", 2}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        testfixtures::resetProgram();
        setCurve(0, {P0, P1, P2});
        for (int j = 0; j < 3; ++j) setTangent(0, j, stale, false);
        setTangent(0, k.setPoint, set);
        store.controlPoints[slotOf(0, -1)] = -1;  // sentinel for the leading phantom
        drawCurve(0, false);

        std::vector<std::string> expected{greenPoint(100, 200)};
        if (k.setPoint == 0) {
            // Reads T1 as the last pass left it; T1 is refreshed later in the walk.
            append(expected, tangentLine(P0, set));
            append(expected, hermite(P0, P1, set, stale));
            expected.push_back(greenPoint(150, 250));
            append(expected, tangentLine(P1, {50, 0}));
            append(expected, tangentLine(P2, {0, -50}));
            append(expected, catmullRom(P0, P1, P2, {150, 150}));
            EXPECT_VEC(point(0, -1), -1.0f, 0.0f);
            EXPECT_VEC(tangent(0, 0), set.x, set.y);
        } else if (k.setPoint == 1) {
            append(expected, tangentLine(P0, {0, 50}));  // no piece: point 1 is set
            expected.push_back(greenPoint(150, 250));
            append(expected, tangentLine(P1, set));
            append(expected, tangentLine(P2, {0, -50}));
            append(expected, hermite(P0, P1, {0, 50}, set));
            append(expected, hermite(P1, P2, set, {0, -50}));
            EXPECT_VEC(point(0, -1), -1.0f, 0.0f);
            EXPECT_VEC(tangent(0, 1), set.x, set.y);
        } else {
            append(expected, tangentLine(P0, {0, 50}));
            append(expected, catmullRom({150, 150}, P0, P1, P2));
            expected.push_back(greenPoint(150, 250));
            append(expected, tangentLine(P1, {50, 0}));
            append(expected, tangentLine(P2, set));
            append(expected, hermite(P1, P2, {50, 0}, set));
            EXPECT_VEC(point(0, -1), 150.0f, 150.0f);
            EXPECT_VEC(tangent(0, 2), set.x, set.y);
        }
        expected.push_back(greenPoint(200, 200));
        EXPECT_EQ(primitives(), expected);
        EXPECT_VEC(point(0, 3), 150.0f, 150.0f);  // the trailing phantom is always stored
        EXPECT_EQ(stripEnds().size(), 2u);
    }
}

TEST_F(SceneTest, PieceReadsNeighbourTangentOfPreviousPassThenTheFreshOne) {
    // Point 1 is set, point 2 default: the piece 1..2 is drawn with T2 as stored
    // before this pass; T2 is refreshed at point 2 and used by the next pass.
    const Vec Q0{60, 400}, Q1{70, 350}, Q2{64, 300}, Q3{80, 250};
    const Vec set{20, -40}, stale{1, 2};
    setCurve(0, {Q0, Q1, Q2, Q3});
    setTangent(0, 1, set);
    setTangent(0, 2, stale, false);

    drawCurve(0, false);
    const Vec fresh = tangent(0, 2);
    EXPECT_VEC(fresh, 5.0f, -50.0f);
    std::vector<std::string> first;
    append(first, hermite(Q0, Q1, {8, 0}, set));
    append(first, hermite(Q1, Q2, set, stale));
    append(first, catmullRom(Q1, Q2, Q3, point(0, 4)));
    EXPECT_EQ(strips(), first);

    gldouble::reset();
    drawCurve(0, false);
    std::vector<std::string> second;
    append(second, hermite(Q0, Q1, {8, 0}, set));
    append(second, hermite(Q1, Q2, set, fresh));
    append(second, catmullRom(Q1, Q2, Q3, point(0, 4)));
    EXPECT_EQ(strips(), second);
}

TEST_F(SceneTest, DefaultMiddlePointLeavesThePieceToASetNeighbourToThatNeighbour) {
    const Vec Q0{60, 400}, Q1{70, 350}, Q2{64, 300}, Q3{80, 250};
    const Vec set{-12, -30};
    setCurve(0, {Q0, Q1, Q2, Q3});
    setTangent(0, 2, set);
    drawCurve(0, false);

    EXPECT_VEC(tangent(0, 1), 2.0f, -50.0f);
    EXPECT_VEC(tangent(0, 2), set.x, set.y);
    const Vec after = point(0, 4);
    EXPECT_VEC(after, 86.0f, 300.0f);  // 2*Q3 - Q2 - (Q3 - Q1)
    const Vec e{(after.x - Q2.x) / 2, (after.y - Q2.y) / 2};
    EXPECT_VEC(tangent(0, 3), e.x, e.y);
    std::vector<std::string> expected = catmullRom({54, 350}, Q0, Q1, Q2);
    append(expected, hermite(Q1, Q2, {2, -50}, set));
    append(expected, hermite(Q2, Q3, set, e));
    EXPECT_EQ(strips(), expected);
    EXPECT_EQ(stripEnds().size(), 3u);
}

TEST_F(SceneTest, CurvesOfOneOrTwoPointsDrawOnlyTheirPointsAndStoreNothing) {
    const std::vector<std::vector<Vec>> curves = {{{100.7f, 200.2f}},
                                                  {{100.7f, 200.2f}, {-3.9f, 310.0f}}};
    for (bool intermediate : {false, true}) {
        for (const auto& pts : curves) {
            SCOPED_TRACE(std::to_string(pts.size()) + (intermediate ? " intermediate" : ""));
            testfixtures::resetProgram();
            state.showIntermediate = true;
            const int c = intermediate ? 2 : 0;
            setCurve(c, pts);
            setTangent(c, 0, {9, 9}, false);
            const CurveStore before = store;
            drawCurve(c, intermediate);
            std::vector<std::string> expected{greenPoint(100, 200)};
            if (pts.size() == 2) expected.push_back(greenPoint(-3, 310));
            EXPECT_EQ(primitives(), expected);
            EXPECT_TRUE(store.controlPoints == before.controlPoints);
            EXPECT_TRUE(store.tangents == before.tangents);
        }
    }
}

TEST_F(SceneTest, IntermediateCurveDrawnOnlyWhenShownYetTrailingPhantomRefreshed) {
    // Intermediate curves take their tangents from the rebuild, never defaults.
    const int c = 2;
    const Vec T0{10, 0}, T1{0, 20}, T2{-5, 5};
    for (bool shown : {false, true}) {
        SCOPED_TRACE(shown ? "shown" : "hidden");
        testfixtures::resetProgram();
        state.showIntermediate = shown;
        setCurve(c, {P0, P1, P2});
        setTangent(c, 0, T0, false);
        setTangent(c, 1, T1, false);
        setTangent(c, 2, T2, false);
        store.controlPoints[slotOf(c, -1)] = 11;
        store.controlPoints[slotOf(c, -1) + 1] = 22;
        drawCurve(c, true);

        EXPECT_VEC(point(c, 3), 150.0f, 150.0f);
        EXPECT_VEC(point(c, -1), 11.0f, 22.0f);
        EXPECT_VEC(tangent(c, 0), T0.x, T0.y);
        EXPECT_VEC(tangent(c, 1), T1.x, T1.y);
        EXPECT_VEC(tangent(c, 2), T2.x, T2.y);
        if (!shown) {
            EXPECT_TRUE(gldouble::glLog.empty());
            continue;
        }
        std::vector<std::string> expected{greenPoint(100, 200)};
        append(expected, tangentLine(P0, T0));
        append(expected, hermite(P0, P1, T0, T1));
        expected.push_back(greenPoint(150, 250));
        append(expected, tangentLine(P1, T1));
        append(expected, tangentLine(P2, T2));
        append(expected, hermite(P0, P1, T0, T1));
        append(expected, hermite(P1, P2, T1, T2));
        expected.push_back(greenPoint(200, 200));
        EXPECT_EQ(primitives(), expected);
        EXPECT_EQ(stripEnds().size(), 3u);
    }
}

TEST_F(SceneTest, IntermediateCurveIgnoresTangentFlags) {
    // A set flag left in an intermediate slot changes nothing: the rebuild's
    // tangents are drawn, and none is overwritten.
    const int c = 2;
    state.showIntermediate = true;
    setCurve(c, {P0, P1, P2});
    setTangent(c, 0, {1, 1}, true);
    setTangent(c, 1, {2, 2}, false);
    setTangent(c, 2, {3, 3}, false);
    drawCurve(c, true);
    EXPECT_VEC(tangent(c, 2), 3.0f, 3.0f);
    EXPECT_EQ(strips(), [] {
        std::vector<std::string> e;
        append(e, hermite(P0, P1, {1, 1}, {2, 2}));
        append(e, hermite(P0, P1, {1, 1}, {2, 2}));
        append(e, hermite(P1, P2, {2, 2}, {3, 3}));
        return e;
    }());
}

TEST_F(SceneTest, SwitchesHideTheirPartsButValuesAreStillStored) {
    struct Case {
        bool curves, points, tangents;
        size_t strips, greenPoints, lines;
    };
    const Case cases[] = {
        {true, true, true, 2, 3, 3},   {false, true, true, 0, 3, 3},
        {true, false, true, 2, 0, 3},  {true, true, false, 2, 3, 0},
        {false, false, false, 0, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string("C") + (k.curves ? "1" : "0") + " P" + (k.points ? "1" : "0") +
                     " T" + (k.tangents ? "1" : "0"));
        testfixtures::resetProgram();
        state.showCurves = k.curves;
        state.showPoints = k.points;
        state.showTangents = k.tangents;
        setCurve(1, {P0, P1, P2});
        drawCurve(1, false);

        EXPECT_VEC(tangent(1, 0), 0.0f, 50.0f);
        EXPECT_VEC(point(1, -1), 150.0f, 150.0f);
        EXPECT_VEC(tangent(1, 1), 50.0f, 0.0f);
        EXPECT_VEC(point(1, 3), 150.0f, 150.0f);
        EXPECT_VEC(tangent(1, 2), 0.0f, -50.0f);
        size_t strips = 0, green = 0, lines = 0, red = 0;
        for (const std::string& p : primitives()) {
            strips += p.rfind("strip", 0) == 0;
            green += p.rfind("point g6", 0) == 0;
            lines += p.rfind("line r", 0) == 0;
            red += p.rfind("point r3", 0) == 0;
        }
        EXPECT_EQ(strips, k.strips);
        EXPECT_EQ(green, k.greenPoints);
        EXPECT_EQ(lines, k.lines);
        EXPECT_EQ(red, k.lines);
    }
}

TEST_F(SceneTest, ControlPointColourCodes) {
    struct Case {
        char code;
        const char* colour;  // nullptr: no colour call
    };
    const Case cases[] = {{'b', "glColor3f(0, 0, 1)"}, {'g', "glColor3f(0, 1, 0)"},
                          {'k', "glColor3f(0, 0, 0)"}, {'r', "glColor3f(1, 0, 0)"},
                          {'w', "glColor3f(1, 1, 1)"}, {'y', "glColor3f(1, 1, 0)"},
                          {'G', nullptr},              {'x', nullptr}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.code);
        gldouble::reset();
        drawControlPoint(k.code, 6.0f, 120, -4);
        std::vector<std::string> expected;
        if (k.colour) expected.push_back(k.colour);
        append(expected, {"glPointSize(6)", "glBegin(GL_POINTS)", "glVertex2i(120, -4)", "glEnd()"});
        EXPECT_EQ(gldouble::strings(), expected);
    }
}

TEST_F(SceneTest, TangentLineKeepsFullLengthAndTruncatesOnlyItsEndDot) {
    drawTangentLine(100.5f, 200.25f, 120.9f, -0.7f);
    EXPECT_EQ(gldouble::strings(),
              (std::vector<std::string>{"glColor3f(1, 0, 0)", "glBegin(GL_LINES)",
                                        "glVertex3f(100.5, 200.25, 0)",
                                        "glVertex3f(120.9, -0.7, 0)", "glEnd()",
                                        "glColor3f(1, 0, 0)", "glPointSize(3)",
                                        "glBegin(GL_POINTS)", "glVertex2i(120, 0)", "glEnd()"}));
}

TEST_F(SceneTest, HugeAndNonFiniteTangentEndsGiveDefinedDots) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float x, y;
        const char* dot;
    };
    const Case cases[] = {{3e9f, -3e9f, "glVertex2i(2147483647, -2147483648)"},
                          {inf, -inf, "glVertex2i(2147483647, -2147483648)"},
                          {nan, -2147483648.0f, "glVertex2i(0, -2147483648)"},
                          {2147483520.0f, -7.99f, "glVertex2i(2147483520, -7)"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.dot);
        gldouble::reset();
        drawTangentLine(0, 0, k.x, k.y);
        EXPECT_EQ(gldouble::strings({"glVertex2i"}), std::vector<std::string>{k.dot});
    }
}

TEST_F(SceneTest, CurveWithHugeTangentDrawsWithoutUndefinedConversions) {
    // A tangent dragged far away makes huge phantoms; the walk still stays defined.
    setCurve(0, {P0, {3e38f, -3e38f}, P2});
    drawCurve(0, false);
    EXPECT_TRUE(std::isinf(point(0, -1).x));
    EXPECT_EQ(gldouble::count("glVertex2i"), 6);
}

TEST_F(SceneTest, PanelFramesAreThreeWhiteQuadsLeftMorphRight) {
    drawPanelFrames();
    EXPECT_EQ(primitives(), (std::vector<std::string>{
                                "quad w 50,100 50,500 400,500 400,100",
                                "quad w 450,100 450,500 800,500 800,100",
                                "quad w 850,100 850,500 1200,500 1200,100"}));
    EXPECT_EQ(gldouble::count("glVertex2f"), 12);
    EXPECT_EQ(gldouble::count("glColor3f"), 1);
}

TEST_F(SceneTest, CrossingOverlayDrawsYellowPointsTruncatedTowardZero) {
    const float values[] = {120.9f, 300.2f, -0.7f, 450.5f, 799.99f, -12.5f};
    for (int k = 0; k < 6; ++k) morph.intersectionPoints[k] = values[k];
    morph.intersectionPoints[6] = 5;  // beyond the count: not drawn
    morph.intersectionPoints[7] = 5;
    morph.intersectionCount = 6;
    drawIntersections();
    EXPECT_EQ(primitives(), (std::vector<std::string>{"point y3 120,300", "point y3 0,450",
                                                      "point y3 799,-12"}));

    gldouble::reset();
    morph.intersectionCount = 0;
    drawIntersections();
    EXPECT_TRUE(gldouble::glLog.empty());
}

}  // namespace
}  // namespace mw
