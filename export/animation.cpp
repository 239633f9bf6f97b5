// animation.cpp -- animation and frame export.
#include "export/export.h"

namespace mw {

void startAnimation() {}
void advanceAnimation() {}

}  // namespace mw
