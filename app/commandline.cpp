// commandline.cpp -- the command line: the toolkit's own options are set aside for
// glutInit, the rest is ours, read by CLI11. Nothing here needs a display.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <string_view>

#include "app/shell.h"

namespace mw {

namespace {

// The X toolkit's options that glutInit takes out of the arguments itself.
constexpr std::array<std::string_view, 2> kToolkitOptionsWithValue = {"-display", "-geometry"};
constexpr std::array<std::string_view, 5> kToolkitFlags = {"-iconic", "-direct", "-indirect",
                                                           "-gldebug", "-sync"};

constexpr const char* kDescription =
    "Morphs one picture into another through two nets of spline curves.";

constexpr const char* kFooter = R"(
Forms:
  morphing-workstation
      the pictures IMAGES/imageLeft.bmp and IMAGES/imageRight.bmp of the working
      directory, and an empty net
  morphing-workstation before.jpg after.png
      these two pictures (BMP, PNG or JPEG, of any size), and an empty net
  morphing-workstation IMAGES/faces.json
      a net file saved with Ctrl+S: its two pictures and both nets

Keys besides those the window lists: Ctrl+S saves the net (to the net file it came
from, else to morph.json, morph-2.json, ... in the working directory), Ctrl+Z undoes
the last edit of the nets, Ctrl+Y or Ctrl+Shift+Z redoes it.

The X toolkit's options -display, -geometry, -iconic, -direct, -indirect, -gldebug
and -sync are passed on to it.
)";

bool isOneOf(std::string_view arg, const auto& names) {
    return std::find(names.begin(), names.end(), arg) != names.end();
}

CommandLine wrong(std::string reason) {
    CommandLine line;
    line.what = Invocation::WrongArguments;
    line.text = std::move(reason) + " (see --help)";
    return line;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    // The toolkit's options go to glutInit untouched, wherever they stand; after
    // "--" every argument is a file name.
    std::vector<const char*> ours = {argc > 0 ? argv[0] : "morphing-workstation"};
    bool filesOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!filesOnly && arg == "--") filesOnly = true;
        if (!filesOnly && isOneOf(arg, kToolkitOptionsWithValue)) {
            if (i + 1 >= argc) return wrong(std::string(arg) + " needs a value");
            line.toolkitArguments.push_back(i);
            line.toolkitArguments.push_back(++i);
        } else if (!filesOnly && isOneOf(arg, kToolkitFlags)) {
            line.toolkitArguments.push_back(i);
        } else {
            ours.push_back(argv[i]);
        }
    }

    CLI::App app(kDescription, "morphing-workstation");
    app.set_version_flag("--version", "morphing-workstation " WORKSTATION_VERSION);
    std::vector<std::string> files;
    app.add_option("files", files, "a net file, or the left and right pictures")
        ->type_name("[NET.json | LEFT RIGHT]");
    app.footer(kFooter);
    try {
        app.parse(static_cast<int>(ours.size()), ours.data());
    } catch (const CLI::CallForHelp&) {
        line.what = Invocation::Help;
        line.text = app.help();
        return line;
    } catch (const CLI::CallForVersion& e) {
        line.what = Invocation::Version;
        line.text = std::string(e.what()) + "\n";
        return line;
    } catch (const CLI::ParseError& e) {
        return wrong(e.what());
    }

    if (files.size() == 1) {
        line.netFile = files[0];
    } else if (files.size() == 2) {
        line.leftPicture = files[0];
        line.rightPicture = files[1];
    } else if (files.size() > 2) {
        return wrong(std::to_string(files.size()) +
                     " files given: a net file, or the left and right pictures, is expected");
    }
    return line;
}

}  // namespace mw
