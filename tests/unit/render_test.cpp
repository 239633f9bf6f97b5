// The headless renderer: on the workstation's grid it makes the window's pictures,
// and on a larger grid the net's positions scale with the picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "render/render.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"
#include "tests/support/morph_nets.h"
#include "tests/support/picture_files.h"

namespace mw {
namespace {

namespace fs = std::filesystem;

class RenderTest : public testfixtures::CleanProgram {
protected:
    void SetUp() override {
        dir = testfixtures::enterTemporaryDirectory("mw-render");
        ASSERT_FALSE(dir.root.empty());
        gldouble::recording = false;
    }
    void TearDown() override { testfixtures::leaveTemporaryDirectory(dir); }
    testfixtures::WorkingDirectory dir;
};

// A frame file's pixels, top row first.
DecodedPicture readFrame(const fs::path& path) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(readPictureFile(path.c_str(), bytes), "");
    DecodedPicture frame;
    EXPECT_EQ(decodePng(bytes.data(), bytes.size(), frame), "") << path;
    return frame;
}

void loadPicture(const std::string& path, WorkImage& picture) {
    std::vector<uint8_t> bytes;
    ASSERT_EQ(readPictureFile(path.c_str(), bytes), "");
    ASSERT_EQ(decodePicture(bytes.data(), bytes.size(), picture), "");
}

// At 256 x 293 a rendered frame is the picture the middle panel composes at the
// same morphT once a display pass has built the intermediate net for it.
TEST_F(RenderTest, FramesOnTheGridAreWhatTheWindowComposes) {
    struct Setting {
        int quality;
        bool roots;
        int view;
    };
    for (const Setting s : {Setting{kQualityPrecise, false, kViewBoth},
                            Setting{kQualitySimple, true, kViewRight}}) {
        SCOPED_TRACE(testing::Message() << "quality " << s.quality << (s.roots ? " roots" : "")
                                        << " view " << s.view);
        RenderOptions options;
        options.netPath = std::string(WORKSTATION_SOURCE_DIR) + "/IMAGES/faces.json";
        options.out = "frames-" + std::to_string(s.quality);
        options.width = kWorkWidth;
        options.height = kWorkHeight;
        options.frames = 3;
        options.quality = s.quality;
        options.roots = s.roots;
        options.view = s.view;
        ASSERT_EQ(runRender(options), 0);

        testfixtures::resetProgram();
        gldouble::recording = false;
        NetFile net;
        ASSERT_EQ(readNetFile(options.netPath.c_str(), net), "");
        loadPicture(net.left.path, images.leftImage);
        loadPicture(net.right.path, images.rightImage);
        putNetIntoStore(net);
        state.morphingStarted = true;
        state.qualityLevel = s.quality;
        state.useBinarySearch = !s.roots;
        state.viewMode = s.view;
        for (int i = 0; i < options.frames; ++i) {
            state.morphT = static_cast<float>(i) / 2.0f;
            morphnets::settleDisplay();
            composeMorph();
            const DecodedPicture frame =
                readFrame(fs::path(options.out) / ("frame_" + std::to_string(i) + ".png"));
            ASSERT_EQ(frame.width, kWorkWidth);
            ASSERT_EQ(frame.height, kWorkHeight);
            int wrong = 0;
            for (int r = 0; r < kWorkHeight; ++r)
                for (int k = 0; k < kWorkRowBytes; ++k)
                    wrong += frame.pixels[r * kWorkRowBytes + k] !=
                             images.morphImage[(kWorkHeight - 1 - r) * kWorkRowBytes + k];
            EXPECT_EQ(wrong, 0) << "frame " << i;
        }
    }
}

// On a grid twice the workstation's, a dark stripe under the left net's vertical
// curve lands under the intermediate net's curve: x * W / 350 of the morph panel.
TEST_F(RenderTest, FeatureOnATwiceLargerGridLandsWhereTheScaledNetPutsIt) {
    constexpr int kWidth = 2 * kWorkWidth, kHeight = 2 * kWorkHeight;
    constexpr int kStripe = 128;  // picture column of the left curve: x = 50 + 128 * 350 / 512
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3, 230);
    for (int y = 0; y < kHeight; ++y)
        for (int x = kStripe - 1; x <= kStripe + 1; ++x)
            for (int ch = 0; ch < 3; ++ch) pixels[(y * kWidth + x) * 3 + ch] = 10;
    testpictures::PngLayout layout;
    layout.width = kWidth;
    layout.height = kHeight;
    const std::vector<uint8_t> png = testpictures::writePng(layout, pixels);
    for (const char* name : {"left.png", "right.png"}) {
        FILE* file = std::fopen(name, "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(png.data(), 1, png.size(), file), png.size());
        std::fclose(file);
    }

    const float leftX = 50.0f + kStripe * 350.0f / kWidth + 350.0f / kWidth / 2;
    for (int y : {505, 300, 95}) appendPointPair(static_cast<int>(leftX), y);
    startNextCurve();
    // The right curve lies 70 GL pixels further right: 102.4 picture pixels.
    for (int j = 0; j < 3; ++j) store.controlPoints[slotOf(1 + 1, j)] += 70.0f;
    NetFile net = netFromStore();
    net.left.path = "left.png";
    net.right.path = "right.png";
    ASSERT_EQ(writeNetFile("net.json", net, true), "");

    RenderOptions options;
    options.netPath = "net.json";
    options.out = "frames";
    options.frames = 2;
    options.quality = kQualityLinear;
    options.view = kViewLeft;
    ASSERT_EQ(runRender(options), 0);
    const DecodedPicture frame = readFrame("frames/frame_1.png");
    ASSERT_EQ(frame.width, kWidth);
    ASSERT_EQ(frame.height, kHeight);
    // At t = 1 the intermediate curve is the right one moved 400 to the left: on the
    // morph panel at the left curve's place + 800 + 70 - 400.
    const float landed =
        (static_cast<int>(leftX) + 800.0f + 70.0f - 400.0f - 450.0f) * kWidth / 350.0f;
    for (int y : {10, kHeight / 2, kHeight - 10}) {
        SCOPED_TRACE(y);
        int darkest = 0;
        for (int x = 0; x < kWidth; ++x)
            if (frame.pixels[(y * kWidth + x) * 3] < frame.pixels[(y * kWidth + darkest) * 3])
                darkest = x;
        EXPECT_NEAR(darkest, landed, 2.0);
    }
}

}  // namespace
}  // namespace mw
