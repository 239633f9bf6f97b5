// intermediate.cpp -- the intermediate net.
#include "morph/morph.h"

namespace mw {

MorphState morph;

void buildIntermediateCurves() {}

}  // namespace mw
