// Net files: every kind of bad file is refused with where and why before anything
// changes, and a saved net reopens to the same store in any locale.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>
#include <string>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "tests/support/fixtures.h"

namespace mw {
namespace {

namespace fs = std::filesystem;

std::string document(const std::string& left, const std::string& right,
                     const std::string& version = "1") {
    return R"({"format": "morphing-workstation net", "version": )" + version +
           R"(, "pictures": {"left": {"path": "l.bmp"}, "right": {"path": "r.bmp"}},)" +
           R"( "nets": {"left": )" + left + R"(, "right": )" + right + "}}";
}

// A net of one horizontal curve with the given points.
std::string oneCurve(const std::string& points) {
    return R"({"vertical": [], "horizontal": [{"points": [)" + points + "]}]}";
}

// `vertical` and `horizontal` curves of `points` points each.
std::string curves(int vertical, int horizontal, int points = 2) {
    std::string curve = R"({"points": [)";
    for (int k = 0; k < points; ++k) curve += (k ? ", [" : "[") + std::to_string(k) + ", 1]";
    curve += "]}";
    const auto list = [&](int count) {
        std::string text = "[";
        for (int k = 0; k < count; ++k) text += (k ? ", " : "") + curve;
        return text + "]";
    };
    return R"({"vertical": )" + list(vertical) + R"(, "horizontal": )" + list(horizontal) + "}";
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class NetFileTest : public testfixtures::CleanProgram {};

TEST_F(NetFileTest, BadNetFilesAreRefusedWithWhereAndWhy) {
    const std::string good = oneCurve("[1, 2], [3, 4]");
    const struct {
        const char* name;
        std::string text;
        const char* reason;
    } cases[] = {
        {"not JSON", "{\"format\":\n  nope}", "not JSON: parse error at line 2, column 4"},
        {"empty", "", "not JSON: parse error at line 1, column 1"},
        {"another format", R"({"format": "mesh", "version": 1})",
         "format: not a net file of this program"},
        {"another version", document(good, good, "2"), "version 2 is not read by this program"},
        {"a string for a number", document(oneCurve(R"(["1", 2], [3, 4])"), good),
         "nets.left.horizontal[0].points[0][0]: a number was expected, not a string"},
        {"a missing field", R"({"format": "morphing-workstation net", "version": 1})",
         "the file: \"pictures\" is missing"},
        {"a missing path",
         R"({"format": "morphing-workstation net", "version": 1, "pictures": {"left": {}}})",
         "pictures.left: \"path\" is missing"},
        {"a number beyond floats", document(oneCurve("[1e39, 2], [3, 4]"), good),
         "a number beyond the range of floats: number overflow parsing '1e39'"},
        {"a point of three numbers", document(oneCurve("[1, 2, 3], [3, 4]"), good),
         "nets.left.horizontal[0].points[0]: a point is [x, y], or [x, y, tangent x, tangent y]"},
        {"more curves than a bank holds", document(curves(17, 17), curves(17, 17)),
         "nets.left: 34 curves: a net holds at most 33"},
        {"more points than a curve holds", document(curves(0, 1, 499), curves(0, 1, 499)),
         "nets.left.horizontal[0].points: 499 points: a curve holds at most 498"},
        {"vertical curves not the first half", document(curves(2, 1), curves(2, 1)),
         "nets.left: 2 vertical and 1 horizontal curves: the first half"},
        {"nets of different sizes", document(curves(1, 1), curves(1, 2)),
         "nets.right: 3 curves, but nets.left has 2: the nets pair curve for curve"},
        {"curves of different lengths", document(curves(1, 1, 3), curves(1, 1, 2)),
         "nets.right.vertical[0]: 2 points, but its partner in nets.left has 3"},
        {"nested deeper than a net", std::string(40, '[') + std::string(40, ']'),
         "nested deeper than a net file is"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NetFile net;
        net.left.path = "untouched";
        const std::string reason = parseNetText(c.text, "", net);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        EXPECT_EQ(net.left.path, "untouched");
        EXPECT_TRUE(net.leftNet.empty());
    }

    // A file whose pictures are not there, and a folder in place of the file.
    const auto dir = testfixtures::enterTemporaryDirectory("mw-netfile");
    ASSERT_FALSE(dir.root.empty());
    fs::create_directory("nets");
    std::ofstream("nets/net.json") << document(good, good);
    NetFile net;
    EXPECT_EQ(readNetFile("nets/net.json", net),
              "left picture nets/l.bmp: No such file or directory");
    EXPECT_EQ(readNetFile("nets", net), "is a directory");
    EXPECT_TRUE(net.leftNet.empty());
    testfixtures::leaveTemporaryDirectory(dir);
}

void click(int x, int y) {
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, 600 - y);
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, 600 - y);
    onDisplay();
}
void endCurve() {
    onMouse(GLUT_RIGHT_BUTTON, GLUT_UP, 425, 300);
    onDisplay();
}

TEST_F(NetFileTest, SavedNetReopensToTheSameStoreInAnyLocale) {
    // Saved and read back under a locale that writes 0,1 for 0.1.
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
    const auto dir = testfixtures::enterTemporaryDirectory("mw-netfile");
    ASSERT_FALSE(dir.root.empty());
    for (int y : {490, 330, 250, 110}) click(118, y);
    endCurve();
    for (int x : {60, 170, 200, 390}) click(x, 240);
    endCurve();
    // The first tangent of the horizontal curve (its handle at (100, 240)) set by
    // hand: the drawing no longer derives that curve's leading phantom point, so
    // the file keeps it. A point where no pointer can be stands for any float.
    onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 600 - 240);
    onMotion(102, 600 - 244);
    onMouse(GLUT_LEFT_BUTTON, GLUT_UP, 102, 600 - 244);
    ASSERT_EQ(store.tangentSet[slotOf(1, 0)], 1);
    store.controlPoints[slotOf(4, 2) + 1] = 0.1f;
    onDisplay();
    const auto drawn = testfixtures::bankContents();

    std::snprintf(state.leftImagePath.data(), kPathBytes, "%s", "IMAGES/left.bmp");
    std::snprintf(state.rightImagePath.data(), kPathBytes, "%s", "/pictures/right.png");
    std::ofstream("morph.json") << "not ours";
    saveNet();
    saveNet();
    const std::string text = fileText("morph-2.json");
    EXPECT_EQ(fileText("morph.json"), "not ours");
    EXPECT_STREQ(state.netPath.data(), "morph-2.json");
    EXPECT_NE(text.find("[60.0, 240.0, 42.0, 4.0]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"lead\": "), std::string::npos) << text;
    EXPECT_NE(text.find("0.1]"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("path": "IMAGES/left.bmp")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("path": "/pictures/right.png")"), std::string::npos) << text;

    NetFile net;
    const std::string reason = parseNetText(text, "", net);
    std::setlocale(LC_NUMERIC, old.c_str());
    ASSERT_EQ(reason, "");
    testfixtures::restart(store);
    useNetFile(net, "morph-2.json");
    EXPECT_EQ(testfixtures::bankContents(), drawn);
    EXPECT_EQ(writeNetFile("morph.json", net, false), "File exists");
    EXPECT_EQ(fileText("morph.json"), "not ours");
    testfixtures::leaveTemporaryDirectory(dir);
}

}  // namespace
}  // namespace mw
