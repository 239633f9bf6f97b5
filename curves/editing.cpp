// editing.cpp -- mouse gestures.
#include "curves/curves.h"

namespace mw {

void onMouse(int, int, int, int) {}
void onMotion(int, int) {}

}  // namespace mw
