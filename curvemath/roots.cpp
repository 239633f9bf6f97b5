// roots.cpp -- polynomial roots.
#include "curvemath/curvemath.h"

namespace mw {

void solveCatmullRomCubic(float*, float, float, float, float, float) {}
void findQuadraticFactors(double*, int, double*, double*) {}
void refineQuadraticFactor(const double*, int, double*) {}
void divideByQuadratic(const double*, int, const double*, double*) {}
int solveQuadraticFactors(const double*, int, double*, double*) { return 0; }

}  // namespace mw
