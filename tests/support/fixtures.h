// fixtures.h -- the fixture every unit test starts from, and small pieces shared
// by several unit tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "export/export.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/gl_double.h"

namespace testfixtures {

// Rebuilds a record in place with its start-up values. The curve store and the
// picture buffers run to megabytes: too large for a temporary on the stack.
template <typename Record>
void restart(Record& record) {
    std::destroy_at(&record);
    std::construct_at(&record);
}

// Puts every process-wide record back to its start: the program state, the curve
// store and its edit history, the morph state, the picture buffers and the GL
// double, once the frame writer is done.
inline void resetProgram() {
    mw::finishFrames();  // a frame still being written reads frameImage
    restart(mw::state);
    restart(mw::store);
    restart(mw::history);
    restart(mw::morph);
    restart(mw::images);
    gldouble::reset();
}

// The base of every unit test's fixture: each test starts from the program as it
// is at start-up, whatever the tests before it left behind. The reset runs in the
// constructor, so a fixture's own SetUp already sees the clean program.
class CleanProgram : public ::testing::Test {
protected:
    CleanProgram() { resetProgram(); }
};

// Every counted slot of the left and right banks, bit for bit: per curve its count
// and the pairs from the leading phantom point to the trailing one (points, tangents,
// tangent flags).
inline std::vector<std::vector<uint32_t>> bankContents() {
    std::vector<std::vector<uint32_t>> banks;
    for (int c = 0; c < mw::store.curveCount; ++c) {
        std::vector<uint32_t> curve = {static_cast<uint32_t>(mw::store.pointCount[c])};
        for (int s = mw::slotOf(c, -1); s < mw::slotOf(c, mw::store.pointCount[c] + 1); ++s) {
            uint32_t bits[2] = {};
            std::memcpy(&bits[0], &mw::store.controlPoints[s], 4);
            std::memcpy(&bits[1], &mw::store.tangents[s], 4);
            curve.insert(curve.end(), {bits[0], bits[1], mw::store.tangentSet[s]});
        }
        banks.push_back(std::move(curve));
    }
    return banks;
}

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
