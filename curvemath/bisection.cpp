// bisection.cpp -- parameter search.
#include "curvemath/curvemath.h"

namespace mw {

float bisectCurveParameter(char, float, float, float, float, float, float, float, float) { return -1.0f; }

}  // namespace mw
