// inversion.cpp -- the parameter at which a segment reaches a target, as the
// crossing search and the curvilinear mapping ask for it: by bisection, or by the
// roots of the segment's cubic with one rule for which root is taken.
#include <cmath>

#include "curvemath/curvemath.h"

namespace mw {

float acceptedRoot(const float roots[3], float start, float target, StartOnTarget rule) {
    for (int i = 0; i < 3; ++i) {
        if (roots[i] >= 0.0f && roots[i] <= 1.0f) return roots[i];
    }
    if (start != target) return -1.0f;
    const bool solved = !std::isnan(roots[0]) || !std::isnan(roots[1]) || !std::isnan(roots[2]);
    if (rule == StartOnTarget::WhenSolved && !solved) return -1.0f;
    return 0.0f;
}

float segmentParameter(Inversion how, char mode, float tolerance, StartOnTarget rule,
                       const CatmullRomCoefficients& c, float target) {
    if (how == Inversion::Bisection) return bisectSegment(c, mode, tolerance, 0.0f, 1.0f, target);
    float roots[3] = {-1.0f, -1.0f, -1.0f};  // slots the solver leaves alone never count
    solveCatmullRomSegment(roots, target, c);
    return acceptedRoot(roots, c.c0, target, rule);
}

}  // namespace mw
