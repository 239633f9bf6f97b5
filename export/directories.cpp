// directories.cpp -- the directory layer.
#include "export/export.h"

namespace mw {

bool removeSequenceDirectory(const char*) { return true; }
bool createSequenceDirectory(const char*) { return true; }

}  // namespace mw
