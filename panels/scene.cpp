// scene.cpp -- scene drawing.
#include "panels/panels.h"

namespace mw {

void drawControlPoint(char, float, int, int) {}
void drawTangentLine(float, float, float, float) {}
void drawPanelFrames() {}
void drawCurve(int, bool) {}
void drawIntersections() {}

}  // namespace mw
