// compose.cpp -- composition of the morph picture.
#include "morph/morph.h"

namespace mw {

void composeMorph() {}

}  // namespace mw
