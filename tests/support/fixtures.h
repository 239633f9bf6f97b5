// fixtures.h -- small pieces shared by several unit tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace testfixtures {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Crossing lists of one scan line (source, then morph) that no ordered net gives:
// every quality level must still read and write inside the buffers.
inline const std::vector<std::vector<float>> kBrokenLists[] = {
    // disordered crossings
    {{50, 300, 120, 400, 400}, {450, 700, 500, 800, 800}},
    // crossings far outside the panels, on both sides
    {{50, -5000, 9000, 400, 400}, {450, 2000, -300, 800, 800}},
    // coincident crossings
    {{50, 200, 200, 400, 400}, {450, 600, 600, 800, 800}},
    {{50, 50, 50, 50, 50}, {450, 450, 450, 450, 450}},
    // non-finite and huge values
    {{50, kNaN, 200, 400, 400}, {450, 600, kNaN, 800, 800}},
    {{50, kInf, -kInf, 400, 400}, {450, -kInf, kInf, 800, 800}},
    {{50, 3e38f, -3e38f, 400, 400}, {450, 1e20f, 1e-30f, 800, 800}},
    // a list that stops short: zeros where the far border should be
    {{50, 200, 0, 0, 0}, {450, 700, 0, 0, 0}},
};

// A fresh temporary working directory, entered; `home` is where the test was.
struct WorkingDirectory {
    std::filesystem::path root;
    std::filesystem::path home;
};

// Empty `root` means mkdtemp failed; the caller asserts on it.
inline WorkingDirectory enterTemporaryDirectory(const char* prefix) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) return {};
    WorkingDirectory dir{pattern, fs::current_path()};
    fs::current_path(dir.root);
    return dir;
}

inline void leaveTemporaryDirectory(const WorkingDirectory& dir) {
    std::filesystem::current_path(dir.home);
    std::filesystem::remove_all(dir.root);
}

}  // namespace testfixtures
