// segments.cpp -- Catmull-Rom and Hermite segments: one coordinate at a parameter,
// and each segment drawn as a white line strip of 11 vertices on whole pixels.
// Every named value (coefficient, power of t, weight, coordinate) is a float; the
// expression that forms it is evaluated in double and rounded once when stored.
// That is what keeps four equal control points on one pixel: weights that sum to
// 1 - 2^-25 round back onto the point instead of truncating one pixel short.
#include <GL/gl.h>

#include <cmath>

#include "curvemath/curvemath.h"

namespace mw {

namespace {

constexpr double kSampleStep = 0.1;  // t advances by this double, stored back as float
constexpr double kSampleEnd = 1.1;   // last t that is drawn; ten steps reach 1.0000001

// Truncates toward zero onto a whole pixel without a float-to-int conversion, so
// huge or non-finite coordinates stay defined; adding +0 turns -0 into 0.
float wholePixel(float v) { return std::trunc(v) + 0.0f; }

struct Weights {
    float w0, w1, w2, w3;
};

// t squared and cubed, each rounded to float.
struct Powers {
    double t, t2, t3;
};

Powers powersOf(float t) {
    const float t2 = t * t;
    const float t3 = t * t2;
    return {t, t2, t3};
}

Weights catmullRomWeights(float t) {
    const Powers p = powersOf(t);
    return {static_cast<float>(((2.0 * p.t2 - p.t3) - p.t) * 0.5),
            static_cast<float>(((3.0 * p.t3 - 5.0 * p.t2) + 2.0) * 0.5),
            static_cast<float>((p.t + (4.0 * p.t2 - 3.0 * p.t3)) * 0.5),
            static_cast<float>((p.t3 - p.t2) * 0.5)};
}

// Tangents enter unscaled: no factor 0.5 anywhere in this basis.
Weights hermiteWeights(float t) {
    const Powers p = powersOf(t);
    return {static_cast<float>((2.0 * p.t3 - 3.0 * p.t2) + 1.0),
            static_cast<float>(3.0 * p.t2 - 2.0 * p.t3),
            static_cast<float>(p.t + (p.t3 - 2.0 * p.t2)),
            static_cast<float>(p.t3 - p.t2)};
}

float weighted(const Weights& w, double a, double b, double c, double d) {
    return static_cast<float>(((w.w0 * a + w.w1 * b) + w.w2 * c) + w.w3 * d);
}

// Samples t = 0, 0.1, ..., 1.0000001 (float steps) and emits one white vertex per
// sample; weightsAt gives the four basis weights for a t.
template <typename WeightsAt>
void drawSegment(WeightsAt weightsAt, float ax, float ay, float bx, float by, float cx,
                 float cy, float dx, float dy) {
    glBegin(GL_LINE_STRIP);
    float t = 0.0f;
    do {
        const Weights w = weightsAt(t);
        const float x = weighted(w, ax, bx, cx, dx);
        const float y = weighted(w, ay, by, cy, dy);
        glColor3f(1.0f, 1.0f, 1.0f);
        glVertex2f(wholePixel(x), wholePixel(y));
        t = static_cast<float>(static_cast<double>(t) + kSampleStep);
    } while (static_cast<double>(t) <= kSampleEnd);
    glEnd();
}

}  // namespace

CatmullRomCoefficients catmullRomCoefficients(float p0, float p1, float p2, float p3) {
    const double a = p0, b = p1, c = p2, d = p3;
    return {static_cast<float>((2.0 * b) * 0.5), static_cast<float>((c - a) * 0.5),
            static_cast<float>(((2.0 * a - 5.0 * b) + 4.0 * c - d) * 0.5),
            static_cast<float>(((3.0 * b - a) - 3.0 * c + d) * 0.5)};
}

float catmullRomValue(float t, float p0, float p1, float p2, float p3) {
    return catmullRomAt(catmullRomCoefficients(p0, p1, p2, p3), t);
}

void drawCatmullRomSegment(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y,
                           float p3x, float p3y) {
    drawSegment(catmullRomWeights, p0x, p0y, p1x, p1y, p2x, p2y, p3x, p3y);
}

void drawHermiteSegment(float p0x, float p0y, float p1x, float p1y, float t0x, float t0y,
                        float t1x, float t1y) {
    drawSegment(hermiteWeights, p0x, p0y, p1x, p1y, t0x, t0y, t1x, t1y);
}

}  // namespace mw
