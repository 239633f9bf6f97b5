// Picture loading, resampling onto the grid, textures and the picture quads.
#include <SOIL/SOIL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/state.h"
#include "curves/curves.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Pixel (x, y) of a grid picture, y counted upwards from the bottom row.
Rgb gridPixel(const WorkImage& picture, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * kWorkWidth + x) * 3;
    return {picture[at], picture[at + 1], picture[at + 2]};
}

// A source picture whose every pixel tells where it came from: red and green carry
// the column and row (low bytes), blue their high bits, so no two pixels of a
// picture up to 4096 a side share a colour.
Rgb coordinateColour(int x, int y) {
    return {static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(y & 0xFF),
            static_cast<uint8_t>((x >> 8) << 4 | (y >> 8))};
}

// Source (column, row) of a grid pixel, row counted from the top.
std::pair<int, int> sourceOf(Rgb c) {
    return {c.r | (c.b >> 4) << 8, c.g | (c.b & 15) << 8};
}

class ImagesTest : public testfixtures::CleanProgram {
protected:
    std::string dir;

    void SetUp() override {
        dir = testing::TempDir() + "images_" + std::to_string(getpid());
        mkdir(dir.c_str(), 0700);
    }
    void TearDown() override {
        for (const char* name : {"left.bmp", "right.bmp", "empty.bmp"})
            std::remove((dir + "/" + name).c_str());
        rmdir((dir + "/folder.bmp").c_str());
        rmdir(dir.c_str());
    }

    // Writes a 24-bit BMP through SOIL, as any other program might.
    std::string writePicture(const char* name, int w, int h,
                             const std::function<Rgb(int, int)>& colour) {
        std::vector<uint8_t> rgb;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Rgb c = colour(x, y);
                rgb.insert(rgb.end(), {c.r, c.g, c.b});
            }
        const std::string path = dir + "/" + name;
        EXPECT_TRUE(SOIL_save_image(path.c_str(), SOIL_SAVE_TYPE_BMP, w, h, 3, rgb.data()));
        return path;
    }

    // Loads a picture written through SOIL onto the right picture's grid.
    const WorkImage& resampled(int w, int h) {
        const std::string path = writePicture("right.bmp", w, h, coordinateColour);
        std::vector<uint8_t> bytes;
        EXPECT_EQ(readPictureFile(path.c_str(), bytes), "");
        EXPECT_EQ(decodePicture(bytes.data(), bytes.size(), images.rightImage), "");
        return images.rightImage;
    }

    void setPaths(const std::string& left, const std::string& right) {
        std::snprintf(state.leftImagePath.data(), state.leftImagePath.size(), "%s", left.c_str());
        std::snprintf(state.rightImagePath.data(), state.rightImagePath.size(), "%s",
                      right.c_str());
    }
};

TEST_F(ImagesTest, GridSizedPictureIsCopiedWithRowsTurnedBottomUp) {
    const WorkImage& picture = resampled(256, 293);
    for (int y = 0; y < kWorkHeight; ++y)
        for (int x = 0; x < kWorkWidth; ++x)
            ASSERT_EQ(gridPixel(picture, x, y), coordinateColour(x, 292 - y))
                << "grid pixel " << x << ", " << y;
}

TEST_F(ImagesTest, BottomRowComesFirstAndMiddleRowStays) {
    const WorkImage& picture = resampled(256, 293);
    EXPECT_EQ(sourceOf(gridPixel(picture, 0, 0)), std::make_pair(0, 292));
    EXPECT_EQ(sourceOf(gridPixel(picture, 255, 0)), std::make_pair(255, 292));
    // The top row starts at byte 292 * 768 = 224,256.
    EXPECT_EQ(picture[224256 + 1], 0);  // green of source row 0
    EXPECT_EQ(sourceOf(gridPixel(picture, 7, 292)), std::make_pair(7, 0));
    for (int x = 0; x < kWorkWidth; ++x)
        ASSERT_EQ(sourceOf(gridPixel(picture, x, 146)), std::make_pair(x, 146));
}

TEST_F(ImagesTest, ResamplingPicksSourceColumnsAndRowsByTruncatedDivision) {
    struct Case {
        int w, h;
        int gridX, gridY;      // y from the bottom
        int sourceX, sourceY;  // y from the top
    };
    const Case cases[] = {
        {128, 293, 0, 292, 0, 0},
        {128, 293, 1, 292, 0, 0},
        {128, 293, 2, 292, 1, 0},
        {128, 293, 255, 0, 127, 292},
        {300, 293, 255, 292, 298, 0},
        {300, 293, 0, 292, 0, 0},
        {300, 293, 128, 292, 150, 0},
        {256, 586, 10, 292, 10, 0},
        {256, 586, 10, 0, 10, 584},
        {256, 100, 0, 0, 0, 99},
        {256, 100, 0, 292, 0, 0},
        {1, 1, 255, 292, 0, 0},
        {1, 1, 0, 0, 0, 0},
        {4000, 3, 255, 0, 3984, 2},
        {6, 5, 42, 292, 0, 0},
        {6, 5, 43, 292, 1, 0},
        {6, 5, 255, 0, 5, 4},
        {6, 5, 0, 57, 0, 4},
        {6, 5, 0, 58, 0, 3},
        // 192 / (256.0 / 300) lands just below 225: the step's rounding shows.
        {300, 293, 192, 292, 224, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.w << " x " << c.h << " at grid " << c.gridX << ", " << c.gridY);
        const WorkImage& picture = resampled(c.w, c.h);
        EXPECT_EQ(sourceOf(gridPixel(picture, c.gridX, c.gridY)),
                  std::make_pair(c.sourceX, c.sourceY));
    }
}

TEST_F(ImagesTest, HalfWidthPictureRepeatsEveryColumnTwice) {
    const WorkImage& picture = resampled(128, 293);
    for (int y : {0, 146, 292})
        for (int x = 0; x < kWorkWidth; ++x)
            ASSERT_EQ(sourceOf(gridPixel(picture, x, y)), std::make_pair(x / 2, 292 - y));
}

TEST_F(ImagesTest, ResamplerReadsThreeBytesPerPixelInDecoderOrder) {
    // Red on blue, 6 x 5: one red pixel in the picture's top-left corner.
    const std::string path = writePicture("right.bmp", 6, 5, [](int x, int y) {
        return x == 0 && y == 0 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
    });
    std::vector<uint8_t> bytes;
    ASSERT_EQ(readPictureFile(path.c_str(), bytes), "");
    ASSERT_EQ(decodePicture(bytes.data(), bytes.size(), images.rightImage), "");
    // Source column 0 covers grid columns 0..42, source row 0 grid rows 292 down to 234.
    EXPECT_EQ(gridPixel(images.rightImage, 0, 292), (Rgb{255, 0, 0}));
    EXPECT_EQ(gridPixel(images.rightImage, 42, 234), (Rgb{255, 0, 0}));
    EXPECT_EQ(gridPixel(images.rightImage, 43, 292), (Rgb{0, 0, 255}));
    EXPECT_EQ(gridPixel(images.rightImage, 0, 233), (Rgb{0, 0, 255}));
    EXPECT_EQ(gridPixel(images.rightImage, 0, 0), (Rgb{0, 0, 255}));
}

TEST_F(ImagesTest, ReverseRowsSwapsRowPairsAndRestoresOnSecondCall) {
    WorkImage& picture = images.leftImage;
    for (int k = 0; k < kWorkBytes; ++k) picture[k] = static_cast<uint8_t>(k / kWorkRowBytes);
    reverseRows(picture, picture);
    EXPECT_EQ(picture[0], 292 & 0xFF);
    EXPECT_EQ(picture[145 * kWorkRowBytes + 767], 147);
    EXPECT_EQ(picture[146 * kWorkRowBytes + 5], 146);
    EXPECT_EQ(picture[292 * kWorkRowBytes + 767], 0);
    EXPECT_EQ(images.sampleScratch[0], 292 & 0xFF);  // the widened bytes stay behind
    reverseRows(picture, picture);
    for (int k = 0; k < kWorkBytes; k += 97)
        ASSERT_EQ(picture[k], static_cast<uint8_t>(k / kWorkRowBytes));
}

TEST_F(ImagesTest, LoadImagesLoadsRightThenMorphThenLeft) {
    const std::string left = writePicture("left.bmp", 6, 5, [](int, int) { return Rgb{9, 8, 7}; });
    const std::string right = writePicture("right.bmp", 300, 340, coordinateColour);
    setPaths(left, right);
    ASSERT_TRUE(loadImages());

    const std::vector<std::string> textureCalls = {
        "glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE)",
        "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR)",
        "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR)",
        "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT)",
        "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT)",
    };
    const std::string upload =
        "glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 293, 0, GL_RGB, GL_UNSIGNED_BYTE)";
    std::vector<std::string> want;
    for (int texture = 1; texture <= 3; ++texture) {
        want.push_back("glGenTextures(1)");
        want.push_back("glBindTexture(GL_TEXTURE_2D, " + std::to_string(texture) + ")");
        want.insert(want.end(), textureCalls.begin(), textureCalls.end());
        if (texture != 2) want.push_back(upload);  // the morph texture waits for a morph
    }
    EXPECT_EQ(gldouble::strings(), want);

    EXPECT_EQ(images.rightTexture, 1u);
    EXPECT_EQ(images.morphTexture, 2u);
    EXPECT_EQ(images.leftTexture, 3u);
    EXPECT_EQ(gldouble::lastTexImage.pixels,
              std::vector<uint8_t>(images.leftImage.begin(), images.leftImage.end()));
    EXPECT_EQ(gridPixel(images.leftImage, 255, 292), (Rgb{9, 8, 7}));
    EXPECT_EQ(sourceOf(gridPixel(images.rightImage, 255, 292)), std::make_pair(298, 0));
    for (int* v : {&images.leftWidth, &images.rightWidth, &images.morphWidth}) EXPECT_EQ(*v, 256);
    for (int* v : {&images.leftHeight, &images.rightHeight, &images.morphHeight})
        EXPECT_EQ(*v, 293);
    for (int* v : {&images.leftChannels, &images.rightChannels, &images.morphChannels})
        EXPECT_EQ(*v, 3);
}

TEST_F(ImagesTest, PictureThatCannotBeLoadedStopsWithOneLineNamingIt) {
    const std::string good = writePicture("left.bmp", 6, 5, coordinateColour);
    std::FILE* f = std::fopen((dir + "/empty.bmp").c_str(), "wb");
    std::fclose(f);
    mkdir((dir + "/folder.bmp").c_str(), 0700);
    struct Case {
        std::string left, right;
        std::string message;
        int texturesMade;
    };
    const Case cases[] = {
        {good, dir + "/missing.bmp",
         "cannot load picture " + dir + "/missing.bmp: No such file or directory\n", 0},
        {dir + "/folder.bmp", good, "cannot load picture " + dir + "/folder.bmp: is a directory\n",
         2},
        {good, dir + "/empty.bmp", "cannot load picture " + dir + "/empty.bmp: empty file\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        gldouble::reset();
        setPaths(c.left, c.right);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(loadImages());
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(gldouble::count("glGenTextures"), c.texturesMade);
    }
}

TEST_F(ImagesTest, ImageQuadsFillPanelsAndLeavePolygonModeAtLine) {
    images.leftTexture = 7;
    images.rightTexture = 8;
    images.morphTexture = 9;
    auto quad = [](int texture, int x1, int x2) {
        const std::string a = std::to_string(x1), b = std::to_string(x2);
        return std::vector<std::string>{
            "glBindTexture(GL_TEXTURE_2D, " + std::to_string(texture) + ")",
            "glBegin(GL_QUADS)",
            "glTexCoord2d(0, 0)",
            "glVertex2d(" + a + ", 100)",
            "glTexCoord2d(1, 0)",
            "glVertex2d(" + b + ", 100)",
            "glTexCoord2d(1, 1)",
            "glVertex2d(" + b + ", 500)",
            "glTexCoord2d(0, 1)",
            "glVertex2d(" + a + ", 500)",
            "glEnd()"};
    };
    for (bool morphing : {false, true}) {
        SCOPED_TRACE(morphing ? "morphing" : "before M");
        gldouble::reset();
        state.morphingStarted = morphing;
        drawImageQuads();
        std::vector<std::string> want = {"glPolygonMode(GL_FRONT_AND_BACK, GL_FILL)",
                                         "glEnable(GL_TEXTURE_2D)"};
        for (const auto& q : {quad(7, 50, 400), quad(8, 850, 1200)})
            want.insert(want.end(), q.begin(), q.end());
        if (morphing) {
            const auto q = quad(9, 450, 800);
            want.insert(want.end(), q.begin(), q.end());
        }
        want.push_back("glDisable(GL_TEXTURE_2D)");
        want.push_back("glPolygonMode(GL_FRONT_AND_BACK, GL_LINE)");
        EXPECT_EQ(gldouble::strings(), want);
    }
}

TEST_F(ImagesTest, DeleteTextureDeletesThatName) {
    deleteTexture(5);
    EXPECT_EQ(gldouble::strings(), std::vector<std::string>{"glDeleteTextures(1, 5)"});
}

}  // namespace
}  // namespace mw
