// bmpcheck.cpp -- strict check of picture files.
#include "panels/panels.h"

namespace mw {

}  // namespace mw
