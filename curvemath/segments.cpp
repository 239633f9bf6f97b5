// segments.cpp -- segment evaluation and drawing.
#include "curvemath/curvemath.h"

namespace mw {

float catmullRomValue(float, float, float p1, float, float) { return p1; }
void drawCatmullRomSegment(float, float, float, float, float, float, float, float) {}
void drawHermiteSegment(float, float, float, float, float, float, float, float) {}

}  // namespace mw
