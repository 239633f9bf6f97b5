// bisection.cpp -- parameter search: the t at which one coordinate of a
// Catmull-Rom segment reaches a target, by halving [low, high].
#include "curvemath/curvemath.h"

namespace mw {

float bisectSegment(const CatmullRomCoefficients& c, char mode, float tolerance, float low,
                    float high, float target) {
    const auto valueAt = [&c](float t) { return catmullRomAt(c, t); };
    return bisectWith(valueAt, mode, tolerance, low, high, target);
}

float bisectCurveParameter(char mode, float tolerance, float low, float high, float target,
                           float p0, float p1, float p2, float p3) {
    return bisectSegment(catmullRomCoefficients(p0, p1, p2, p3), mode, tolerance, low, high,
                         target);
}

}  // namespace mw
