// commandline.cpp -- the command line: the toolkit's own options are set aside for
// glutInit, the rest is ours, read by CLI11. Nothing here needs a display.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "app/shell.h"
#include "app/state.h"
#include "morph/morph.h"
#include "panels/panels.h"

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
  morphing-workstation render IMAGES/faces.json --out faces.mp4
      the morph of a net file at the pictures' own size, without a window, as PNG
      frames or a video (see render --help)

Keys besides those the window lists: Ctrl+S saves the net (to the net file it came
from, else to morph.json, morph-2.json, ... in the working directory), Ctrl+Z undoes
the last edit of the nets, Ctrl+Y or Ctrl+Shift+Z redoes it.

The X toolkit's options -display, -geometry, -iconic, -direct, -indirect, -gldebug
and -sync are passed on to it.
)";

bool isOneOf(std::string_view arg, const auto& names) {
    return std::find(names.begin(), names.end(), arg) != names.end();
}

constexpr const char* kRenderFooter = R"(
Frame i of N is the morph at t = i / (N - 1): frame 0 is the left picture, the
last one the right picture. Examples:
  morphing-workstation render IMAGES/faces.json
      101 PNG frames of the left picture's size into faces-frames/
  morphing-workstation render IMAGES/faces.json --out morph.mp4 --size 1920x1080
      a video through ffmpeg (also .webm and .gif)
Exit status 0 when every frame was written, 1 when an input or the output failed,
2 for arguments that make no sense.
)";

// "WxH" into width and height, each 1..16384 and together at most 64 megapixels.
std::string parseSize(const std::string& text, int& width, int& height) {
    long long w = 0, h = 0;
    char x = 0, rest = 0;
    if (std::sscanf(text.c_str(), "%lld%c%lld%c", &w, &x, &h, &rest) != 3 || (x != 'x' && x != 'X'))
        return "--size " + text + ": expected WIDTHxHEIGHT, such as 1920x1080";
    if (w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide || w * h > kMaxPicturePixels)
        return "--size " + text + ": each side 1 to " + std::to_string(kMaxPictureSide) +
               " pixels, at most " + std::to_string(kMaxPicturePixels) + " pixels in all";
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return "";
}

// The render subcommand's options, parsed into options.
CLI::App* addRender(CLI::App& app, RenderOptions& options, std::string& size, std::string& view) {
    CLI::App* render = app.add_subcommand(
        "render", "Renders the morph of a net file without a window, at the pictures' own size");
    render->add_option("net", options.netPath, "the net file")->required()->type_name("NET.json");
    render->add_option("--out", options.out,
                       "a directory for PNG frames, or FILE.mp4, .webm or .gif for a video "
                       "(default: NET-frames in the working directory)");
    render->add_option("--fps", options.fps, "frames a second of a video")
        ->capture_default_str()
        ->check(CLI::Range(1, 240));
    render->add_option("--size", size, "the frame size (default: the left picture's own size)")
        ->type_name("WxH");
    render->add_option("--frames", options.frames, "how many frames")
        ->capture_default_str()
        ->check(CLI::Range(2, 100000));
    render->add_option("--quality", options.quality,
                       "1 linear, 2 simple curvilinear, 3 precise curvilinear")
        ->capture_default_str()
        ->check(CLI::Range(1, 3));
    render->add_flag("--roots", options.roots, "invert splines by their cubic's roots, not bisection");
    render->add_option("--view", view, "the left picture's morph, the right one's, or both blended")
        ->capture_default_str()
        ->check(CLI::IsMember({"left", "right", "both"}));
    render->add_option("--threads", options.threads, "threads to compose on (default: every core)")
        ->check(CLI::Range(1, kMaxEngineThreads));
    render->add_flag("--force", options.force,
                     "write into a non-empty directory, or over an existing file");
    render->footer(kRenderFooter);
    return render;
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
    std::string size, view = "both";
    CLI::App* render = addRender(app, line.render, size, view);
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

    if (render->parsed()) {
        line.what = Invocation::Render;
        RenderOptions& r = line.render;
        if (!size.empty()) {
            const std::string reason = parseSize(size, r.width, r.height);
            if (!reason.empty()) return wrong(reason);
        }
        r.view = view == "left" ? kViewLeft : view == "right" ? kViewRight : kViewBoth;
        if (r.out.empty()) r.out = std::filesystem::path(r.netPath).stem().string() + "-frames";
        return line;
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
