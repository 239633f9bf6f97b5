// shell.h -- start-up, the window, and the reshape, display and keyboard handlers.
#pragma once

namespace mw {

// Runs the whole program: window, handlers, pictures, main loop. Returns the
// process exit status: 0 when the main loop returns, 1 when start-up fails.
int runWorkstation(int argc, char** argv);

void onReshape(int width, int height);
// One whole frame, always in the same order; see the definition.
void onDisplay();
// Keys of the command table in either case; any other key does nothing at all.
void onKeyboard(unsigned char key, int x, int y);

}  // namespace mw
