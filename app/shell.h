// shell.h -- start-up and the command line, the window, and the reshape, display
// and keyboard handlers.
#pragma once

#include <string>
#include <vector>

#include "curves/curves.h"
#include "render/render.h"

namespace mw {

// Exit statuses besides 0: a picture or net file that cannot be used, and
// arguments that make no sense.
constexpr int kStatusCannotUse = 1;
constexpr int kStatusWrongArguments = 2;

enum class Invocation { Run, Render, Help, Version, WrongArguments };

// What the command line asks for. Reading it needs no display, so --help, --version
// and wrong arguments are answered before the toolkit starts.
struct CommandLine {
    Invocation what = Invocation::Run;
    std::string leftPicture = "IMAGES/imageLeft.bmp";
    std::string rightPicture = "IMAGES/imageRight.bmp";
    std::string netFile;  // when set, the pictures and both nets come from it
    RenderOptions render;  // `render NET.json [options]`: frames without a window
    // Indices into argv of the toolkit's own options and their values (-display
    // NAME, -geometry WxH+X+Y, -iconic, -direct, -indirect, -gldebug, -sync), in
    // their order: glutInit gets exactly these.
    std::vector<int> toolkitArguments;
    std::string text;  // the help or version text, or the one-line reason arguments are wrong
};

// The forms: no arguments (the default pictures), LEFT RIGHT (two pictures, an
// empty net), NET.json (a net file), render NET.json [options] (frames without a
// window); --help and --version.
CommandLine parseCommandLine(int argc, const char* const* argv);

// Runs the whole program: command line, window, handlers, pictures, main loop.
// Returns the process exit status: 0 when the main loop returns or after --help or
// --version, kStatusCannotUse when a picture or the net file cannot be used,
// kStatusWrongArguments for arguments that make no sense.
int runWorkstation(int argc, char** argv);

void onReshape(int width, int height);
// One whole frame, always in the same order; see the definition.
void onDisplay();
// Ctrl+S, Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z, then the keys of the command table in
// either case; any other key does nothing at all.
void onKeyboard(unsigned char key, int x, int y);

// --- The files (files.cpp) ---------------------------------------------------------

// Reads the net file the command line names, if any, and checks that every path
// fits the program state. Returns false after one line on stderr naming the file
// and the reason.
bool readStartFiles(const CommandLine& line, NetFile& net);
// After the pictures are loaded: the store holds net with everything the drawing
// derives, the history is empty, and Ctrl+S saves to path.
void useNetFile(const NetFile& net, const std::string& path);
// Ctrl+S: writes both nets and the pictures' paths to state.netPath, or to the first
// of morph.json, morph-2.json, ... that does not exist, which later saves then use.
// One line on stdout when saved, on stderr when not (the old file is then intact).
void saveNet();

}  // namespace mw
