// state.cpp -- the one instance of the program state.
#include "app/state.h"

namespace mw {

ProgramState state;

}  // namespace mw
