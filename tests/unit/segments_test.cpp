// Segment evaluation and drawing: exact values, the 11-vertex strip, whole pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

class SegmentTest : public testfixtures::CleanProgram {};

struct Vertex {
    double x, y;
};

std::vector<Vertex> drawnVertices() {
    std::vector<Vertex> out;
    for (const gldouble::Call& c : gldouble::glLog)
        if (c.name == "glVertex2f") out.push_back({c.args[0], c.args[1]});
    return out;
}

TEST_F(SegmentTest, ValueStartsExactlyOnSecondPointAndEndsOnThird) {
    const struct {
        float p0, p1, p2, p3;
    } cases[] = {
        {480, 420, 280, 230}, {0, 10, 20, 30},         {123.456f, -7.25f, 1e6f, 3.5f},
        {5, 5, 5, 5},         {-300, 0.1f, 799.9f, 2}, {1e-3f, 2e-3f, -4e-3f, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p0 << " " << c.p1 << " " << c.p2 << " " << c.p3);
        EXPECT_EQ(catmullRomValue(0.0f, c.p0, c.p1, c.p2, c.p3), c.p1);
        EXPECT_FLOAT_EQ(catmullRomValue(1.0f, c.p0, c.p1, c.p2, c.p3), c.p2);
    }
}

TEST_F(SegmentTest, EvenlySpacedValuesGiveStraightEvenlyPacedSegment) {
    const CatmullRomCoefficients c = catmullRomCoefficients(0, 10, 20, 30);
    EXPECT_EQ(c.c0, 10.0f);
    EXPECT_EQ(c.c1, 10.0f);
    EXPECT_EQ(c.c2, 0.0f);
    EXPECT_EQ(c.c3, 0.0f);
    const struct {
        float t, value;
    } cases[] = {{0.0f, 10}, {0.1f, 11}, {0.25f, 12.5f}, {0.5f, 15}, {0.75f, 17.5f}, {1.0f, 20}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.t);
        EXPECT_EQ(catmullRomValue(k.t, 0, 10, 20, 30), k.value);
    }
}

TEST_F(SegmentTest, CoefficientsOfWorkedSegment) {
    const CatmullRomCoefficients c = catmullRomCoefficients(480, 420, 280, 230);
    EXPECT_EQ(c.c0, 420.0f);
    EXPECT_EQ(c.c1, -100.0f);
    EXPECT_EQ(c.c2, -125.0f);
    EXPECT_EQ(c.c3, 85.0f);
    EXPECT_EQ(catmullRomValue(0.5f, 480, 420, 280, 230), 349.375f);
}

// x runs 10 + 10 t, y runs 80 - 20 t. The last sample lies just past t = 1, where a
// falling coordinate is 59.9999962 and truncates a pixel short of 60.
TEST_F(SegmentTest, SegmentIsOneWhiteLineStripOfElevenVertices) {
    drawCatmullRomSegment(0, 100, 10, 80, 20, 60, 30, 40);
    std::vector<std::string> expected = {"glBegin(GL_LINE_STRIP)"};
    for (int k = 0; k <= 10; ++k) {
        expected.push_back("glColor3f(1, 1, 1)");
        expected.push_back("glVertex2f(" + std::to_string(10 + k) + ", " +
                           std::to_string(k < 10 ? 80 - 2 * k : 59) + ")");
    }
    expected.push_back("glEnd()");
    EXPECT_EQ(gldouble::strings(), expected);
}

TEST_F(SegmentTest, EverySegmentFormDrawsElevenVerticesNeverTenOrTwelve) {
    const struct {
        const char* name;
        bool hermite;
        float a[8];
    } cases[] = {
        {"catmull-rom", false, {480, 100, 420, 200, 280, 300, 230, 400}},
        {"catmull-rom equal", false, {7, 7, 7, 7, 7, 7, 7, 7}},
        {"catmull-rom huge", false, {-1e30f, 1e30f, 0, 0, 1e30f, -1e30f, 2e30f, 3e30f}},
        {"hermite", true, {100, 200, 300, 500, 40, -40, 10, 10}},
        {"hermite zero tangents", true, {100, 200, 300, 500, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        gldouble::reset();
        const float* a = c.a;
        if (c.hermite)
            drawHermiteSegment(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        else
            drawCatmullRomSegment(a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
        EXPECT_EQ(gldouble::count("glBegin"), 1);
        EXPECT_EQ(gldouble::count("glColor3f"), 11);
        EXPECT_EQ(gldouble::count("glVertex2f"), 11);
        EXPECT_EQ(gldouble::count("glEnd"), 1);
    }
}

// Only the end tangent is non-zero, so x = 1e8 * (t^3 - t^2): 0 at t = 1 exactly,
// but the last sample is the float t = 1 + 2^-23 reached by ten steps of 0.1,
// which puts it at 1e8 * 2^-23 = 11.92.
TEST_F(SegmentTest, LastSampleIsAtTenFloatStepsOfOneTenth) {
    drawHermiteSegment(0, 0, 0, 0, 0, 0, 1e8f, 0);
    const std::vector<Vertex> v = drawnVertices();
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v.front().x, 0.0);
    EXPECT_EQ(v.back().x, 11.0);
    EXPECT_LT(v[9].x, -8.0e6);  // t = 0.9: -1e8 * 0.081
}

TEST_F(SegmentTest, CoordinatesAreTruncatedTowardZero) {
    const struct {
        float x, y;
        const char* vertex;
    } cases[] = {
        {120.9f, -0.7f, "glVertex2f(120, 0)"},
        {-120.9f, 0.7f, "glVertex2f(-120, 0)"},
        {-0.2f, -399.99f, "glVertex2f(0, -399)"},
        {1199.5f, 599.999f, "glVertex2f(1199, 599)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vertex);
        gldouble::reset();
        drawCatmullRomSegment(c.x, c.y, c.x, c.y, c.x, c.y, c.x, c.y);
        const std::vector<std::string> vertices = gldouble::strings({"glVertex2f"});
        ASSERT_EQ(vertices.size(), 11u);
        for (const std::string& s : vertices) EXPECT_EQ(s, c.vertex);
        // A coordinate in (-1, 0) lands on 0, never on a negative zero.
        for (const Vertex& v : drawnVertices()) {
            EXPECT_FALSE(std::signbit(v.x) && v.x == 0.0);
            EXPECT_FALSE(std::signbit(v.y) && v.y == 0.0);
        }
    }
}

TEST_F(SegmentTest, FourEqualPointsDrawElevenCoincidentVertices) {
    const float points[][2] = {{100, 200}, {1199, 599}, {-3, 7}, {0.5f, 333.3f}, {850, 100},
                               {449, 499}, {1, 1},      {-1000, -1}};
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
        gldouble::reset();
        drawCatmullRomSegment(p[0], p[1], p[0], p[1], p[0], p[1], p[0], p[1]);
        const std::vector<Vertex> v = drawnVertices();
        ASSERT_EQ(v.size(), 11u);
        for (const Vertex& w : v) {
            EXPECT_EQ(w.x, std::trunc(p[0]));
            EXPECT_EQ(w.y, std::trunc(p[1]));
        }
    }
}

TEST_F(SegmentTest, CatmullRomStripRunsFromSecondPointToThird) {
    drawCatmullRomSegment(480, 100, 420, 200, 280, 300, 230, 400);
    const std::vector<Vertex> v = drawnVertices();
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v.front().x, 420.0);
    EXPECT_EQ(v.front().y, 200.0);
    EXPECT_EQ(v[5].x, 349.0);  // 349.375 at t = 0.5
    EXPECT_EQ(v[5].y, 250.0);
    EXPECT_EQ(v.back().x, 280.0);  // t = 1 + 2^-23 gives 279.9999887, which rounds to 280
    EXPECT_EQ(v.back().y, 300.0);
}

TEST_F(SegmentTest, HermiteWithZeroTangentsFollowsStraightLine) {
    drawHermiteSegment(100, 200, 300, 500, 0, 0, 0, 0);
    const std::vector<Vertex> v = drawnVertices();
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v.front().x, 100.0);
    EXPECT_EQ(v.front().y, 200.0);
    EXPECT_EQ(v[5].x, 200.0);
    EXPECT_EQ(v[5].y, 350.0);
    EXPECT_EQ(v.back().x, 300.0);
    EXPECT_EQ(v.back().y, 500.0);
    for (int k = 0; k <= 10; ++k) {
        SCOPED_TRACE(k);
        const double t = k / 10.0;
        const double ease = 3 * t * t - 2 * t * t * t;
        EXPECT_NEAR(v[k].x, 100 + 200 * ease, 1.0);
        EXPECT_NEAR(v[k].y, 200 + 300 * ease, 1.0);
        if (k > 0) {
            EXPECT_GE(v[k].x, v[k - 1].x);
            EXPECT_GE(v[k].y, v[k - 1].y);
        }
    }
}

// The tangents enter the Hermite basis unscaled: with only the start tangent
// (1000, -400), the midpoint sits at 0.125 of it.
TEST_F(SegmentTest, HermiteTangentsAreNotScaled) {
    drawHermiteSegment(0, 0, 0, 0, 1000, -400, 0, 0);
    const std::vector<Vertex> v = drawnVertices();
    ASSERT_EQ(v.size(), 11u);
    EXPECT_EQ(v[5].x, 125.0);
    EXPECT_EQ(v[5].y, -50.0);
    drawHermiteSegment(0, 0, 0, 0, 0, 0, 1000, -400);
    EXPECT_EQ(drawnVertices()[11 + 5].x, -125.0);
}

TEST_F(SegmentTest, NonFiniteInputsDrawElevenVerticesWithoutTrapping) {
    const float inf = INFINITY, nan = NAN;
    drawCatmullRomSegment(nan, 0, 1, 2, 3, 4, 5, 6);
    drawHermiteSegment(inf, 0, 1, 2, 3, 4, 5, 6);
    drawCatmullRomSegment(0, 3e38f, 0, 3e38f, 0, -3e38f, 0, -3e38f);
    EXPECT_EQ(gldouble::count("glVertex2f"), 33);
    EXPECT_TRUE(std::isnan(catmullRomValue(0.5f, nan, 1, 2, 3)));
}

}  // namespace
}  // namespace mw
