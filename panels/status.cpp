// status.cpp -- status text and slider.
#include "panels/panels.h"

namespace mw {

void drawText(float, float, float, void*, const char*) {}
void drawStatusText() {}
void drawSlider() {}

}  // namespace mw
