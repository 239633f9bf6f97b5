// store.cpp -- the curve store and its operations.
#include "curves/curves.h"

namespace mw {

CurveStore store;

void appendPointPair(int, int) {}
void removePointPair(int, int) {}
void startNextCurve() {}

}  // namespace mw
