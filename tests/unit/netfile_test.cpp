// Net files: every kind of bad file is refused with where and why before anything
// changes, and floats are written to read back exactly in any locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <fstream>
#include <string>

#include "curves/curves.h"
#include "tests/support/fixtures.h"

namespace mw {
namespace {

std::string document(const std::string& left, const std::string& right, int version = 1) {
    return R"({"format": "morphing-workstation net", "version": )" + std::to_string(version) +
           R"(, "pictures": {"left": {"path": "l.bmp"}, "right": {"path": "r.bmp"}},)" +
           R"( "nets": {"left": )" + left + R"(, "right": )" + right + "}}";
}

// A net of one horizontal curve with these points.
std::string net(const std::string& points) {
    return R"({"vertical": [], "horizontal": [{"points": [)" + points + "]}]}";
}

// A net of `vertical` and `horizontal` curves of `points` points each.
std::string net(int vertical, int horizontal, int points = 2) {
    std::string curve = R"({"points": [[0, 1])";
    for (int k = 1; k < points; ++k) curve += ", [" + std::to_string(k) + ", 1]";
    const auto list = [&](int count) {
        std::string text;
        for (int k = 0; k < count; ++k) text += (k ? ", " : "") + curve + "]}";
        return "[" + text + "]";
    };
    return R"({"vertical": )" + list(vertical) + R"(, "horizontal": )" + list(horizontal) + "}";
}

class NetFileTest : public testfixtures::CleanProgram {};

TEST_F(NetFileTest, BadNetFilesAreRefusedWithWhereAndWhy) {
    const std::string good = net("[1, 2], [3, 4]");
    const std::pair<std::string, const char*> cases[] = {
        {"{\"format\":\n  nope}", "not JSON: parse error at line 2, column 4"},
        {R"({"format": "mesh", "version": 1})", "format: not a net file of this program"},
        {document(good, good, 2), "version 2 is not read by this program"},
        {document(net(R"(["1", 2], [3, 4])"), good),
         "nets.left.horizontal[0].points[0][0]: a number was expected, not a string"},
        {R"({"format": "morphing-workstation net", "version": 1})",
         "the file: \"pictures\" is missing"},
        {R"({"format": "morphing-workstation net", "version": 1, "pictures": {"left": {}}})",
         "pictures.left: \"path\" is missing"},
        {document(net("[1e39, 2], [3, 4]"), good),
         "a number beyond the range of floats: number overflow parsing '1e39'"},
        {document(net("[1, 2, 3], [3, 4]"), good),
         "nets.left.horizontal[0].points[0]: a point is [x, y], or [x, y, tangent x, tangent y]"},
        {document(net(17, 17), net(17, 17)), "nets.left: 34 curves: a net holds at most 33"},
        {document(net(0, 1, 499), net(0, 1, 499)),
         "nets.left.horizontal[0].points: 499 points: a curve holds at most 498"},
        {document(net(2, 1), net(2, 1)),
         "nets.left: 2 vertical and 1 horizontal curves: the first half"},
        {document(net(1, 1), net(1, 2)),
         "nets.right: 3 curves, but nets.left has 2: the nets pair curve for curve"},
        {document(net(1, 1, 3), net(1, 1, 2)),
         "nets.right.vertical[0]: 2 points, but its partner in nets.left has 3"},
        {std::string(40, '[') + std::string(40, ']'), "nested deeper than a net file is"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        NetFile read;
        read.left.path = "untouched";
        const std::string reason = parseNetText(text, "", read);
        EXPECT_NE(reason.find(expected), std::string::npos) << reason;
        EXPECT_EQ(read.left.path, "untouched");
        EXPECT_TRUE(read.leftNet.empty());
    }

    // A file whose pictures are not there, and a folder in place of the file.
    const auto dir = testfixtures::enterTemporaryDirectory("mw-netfile");
    ASSERT_FALSE(dir.root.empty());
    std::filesystem::create_directory("nets");
    std::ofstream("nets/net.json") << document(good, good);
    NetFile net;
    EXPECT_EQ(readNetFile("nets/net.json", net),
              "left picture nets/l.bmp: No such file or directory");
    EXPECT_TRUE(net.leftNet.empty());
    testfixtures::leaveTemporaryDirectory(dir);
}

// Floats no pointer gives, under a locale that writes 0,1 for 0.1: the text has
// decimal points, and every float and the kept leading phantom read back bit for bit.
TEST_F(NetFileTest, FloatsReadBackBitForBitInAnyLocale) {
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
    NetFile net;
    net.left.path = net.right.path = "/p.png";
    NetCurve curve{{{0.1f, -0.0f}, {1e-7f, 3.4e38f, true, 1.5f, -2.25f}}, true, 0.3f, 1e-45f};
    net.leftNet = net.rightNet = {curve};
    std::string text, again;
    ASSERT_EQ(netFileText(net, "n.json", text), "");
    NetFile read;
    const std::string reason = parseNetText(text, "", read);
    std::setlocale(LC_NUMERIC, old.c_str());
    ASSERT_EQ(reason, "") << text;
    EXPECT_NE(text.find("[[0.1, -0.0], [1e-07, 3.4e+38, 1.5, -2.25]], \"lead\": [0.3, "),
              std::string::npos)
        << text;
    ASSERT_EQ(netFileText(read, "n.json", again), "");
    EXPECT_EQ(again, text);
    EXPECT_EQ(std::memcmp(&read.leftNet[0].leadY, &curve.leadY, sizeof(float)), 0);
}

}  // namespace
}  // namespace mw
