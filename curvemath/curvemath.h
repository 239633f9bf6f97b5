// curvemath.h -- Catmull-Rom and Hermite segments: evaluation, drawing as line
// strips, and two ways of inverting a segment (bisection, roots of its cubic).
#pragma once

namespace mw {

// One coordinate of the uniform Catmull-Rom segment over p0..p3 at t (runs from
// p1 at t = 0 to p2 at t = 1).
float catmullRomValue(float t, float p0, float p1, float p2, float p3);

// Draw one segment as a white GL_LINE_STRIP of 11 vertices on whole pixels.
void drawCatmullRomSegment(float p0x, float p0y, float p1x, float p1y, float p2x, float p2y,
                           float p3x, float p3y);
void drawHermiteSegment(float p0x, float p0y, float p1x, float p1y, float t0x, float t0y,
                        float t1x, float t1y);

// Parameter in [low, high] at which the segment's coordinate lies strictly within
// tolerance of target, or exactly -1.0f for none. Mode 'v': the coordinate falls as
// t rises; any other mode: it rises.
float bisectCurveParameter(char mode, float tolerance, float low, float high, float target,
                           float p0, float p1, float p2, float p3);

// Polynomial root finder (Bairstow). Polynomials are highest power first.
constexpr int kMaxPolynomialDegree = 16;
// Writes up to three candidate parameters t with catmullRomValue(t) == target. Slots
// it leaves unwritten keep what the caller put there.
void solveCatmullRomCubic(float roots[3], float target, float p0, float p1, float p2, float p3);
void findQuadraticFactors(double* a, int n, double* trial, double* factors);
void refineQuadraticFactor(const double* a, int n, double* trial);
void divideByQuadratic(const double* a, int n, const double* trial, double* b);
int solveQuadraticFactors(const double* factors, int n, double* re, double* im);

}  // namespace mw
