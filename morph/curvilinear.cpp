// curvilinear.cpp -- quality levels 2 and 3.
#include "morph/morph.h"

namespace mw {

}  // namespace mw
