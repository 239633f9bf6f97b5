// PNG and JPEG pictures: every everyday variant reaching the grid as RGB with the
// right rows, columns and channels, a photo's orientation, and damaged or
// oversized files refused with their reason.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/picture_files.h"

namespace mw {
namespace {

using testpictures::JpegLayout;
using testpictures::PngLayout;

// 6 x 5 (no symmetry to hide a swapped row or column), every pixel a different
// colour, red rising to the right, green downwards and blue falling, so a swap of
// rows, columns or the red and blue bytes shows.
constexpr int kW = 6;
constexpr int kH = 5;
uint8_t red(int x, int y) {
    return static_cast<uint8_t>(200 + 10 * x - y);
}
uint8_t green(int, int y) {
    return static_cast<uint8_t>(20 + 40 * y);
}
uint8_t blue(int x, int y) {
    return static_cast<uint8_t>(90 - 3 * x - 11 * y);
}
uint8_t grey(int x, int y) {
    return static_cast<uint8_t>(7 + 40 * y + 5 * x);
}
uint8_t alpha(int x, int y) {
    return static_cast<uint8_t>(51 * ((x + y) % 6));
}  // 0 too

class PhotosTest : public testfixtures::CleanProgram {};

struct PngCase {
    const char* name;
    int colourType;
    int depth;
    bool interlaced = false;
};

// The samples of the 6 x 5 picture in the case's layout, and the RGB it must become.
std::vector<uint8_t> pngSamples(const PngCase& c, std::vector<uint8_t>& rgb,
                                std::vector<uint8_t>& palette, std::vector<uint8_t>& trns) {
    std::vector<uint8_t> samples;
    const bool colour = c.colourType & PNG_COLOR_MASK_COLOR;
    const bool hasAlpha = c.colourType & PNG_COLOR_MASK_ALPHA;
    for (int y = 0; y < kH; ++y) {
        int bits = 0;
        uint64_t packed = 0;  // a row of sub-byte or palette samples, at most 48 bits
        for (int x = 0; x < kW; ++x) {
            if (c.colourType == PNG_COLOR_TYPE_PALETTE) {
                const int index = (y * kW + x) % (1 << c.depth);
                packed = packed << c.depth | index;
                bits += c.depth;
                rgb.insert(rgb.end(), {red(index, 0), green(0, index % 5), blue(index, 1)});
                continue;
            }
            if (c.depth < 8) {  // grey of 1, 2 or 4 bits
                const int level = (x + y) % (1 << c.depth);
                packed = packed << c.depth | level;
                bits += c.depth;
                const auto v = static_cast<uint8_t>(level * 255 / ((1 << c.depth) - 1));
                rgb.insert(rgb.end(), {v, v, v});
                continue;
            }
            std::vector<uint8_t> pixel;
            if (colour)
                pixel = {red(x, y), green(x, y), blue(x, y)};
            else
                pixel = {grey(x, y)};
            rgb.insert(rgb.end(), {pixel[0], pixel[colour ? 1 : 0], pixel[colour ? 2 : 0]});
            if (hasAlpha) pixel.push_back(alpha(x, y));
            for (uint8_t v : pixel) {
                samples.push_back(v);  // 16 bits: v * 257 scales back to exactly v
                if (c.depth == 16) samples.push_back(v);
            }
        }
        if (bits > 0) {
            packed <<= (8 - bits % 8) % 8;
            for (int k = (bits + 7) / 8 - 1; k >= 0; --k) samples.push_back(packed >> (8 * k));
        }
    }
    if (c.colourType == PNG_COLOR_TYPE_PALETTE)
        for (int index = 0; index < (1 << c.depth); ++index) {
            palette.insert(palette.end(), {red(index, 0), green(0, index % 5), blue(index, 1)});
            trns.push_back(alpha(index, 0));
        }
    return samples;
}

TEST_F(PhotosTest, PngVariantsReachTheGridAsRgbWithRowsAndChannelsInPlace) {
    const PngCase cases[] = {
        {"grey 1-bit", PNG_COLOR_TYPE_GRAY, 1},
        {"grey 2-bit", PNG_COLOR_TYPE_GRAY, 2},
        {"grey 4-bit", PNG_COLOR_TYPE_GRAY, 4},
        {"grey 8-bit", PNG_COLOR_TYPE_GRAY, 8},
        {"grey 16-bit", PNG_COLOR_TYPE_GRAY, 16},
        {"grey and alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8},
        {"grey and alpha 16-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 16},
        {"palette 4-bit with transparency", PNG_COLOR_TYPE_PALETTE, 4},
        {"palette 8-bit with transparency", PNG_COLOR_TYPE_PALETTE, 8},
        {"RGB", PNG_COLOR_TYPE_RGB, 8},
        {"RGB 16-bit", PNG_COLOR_TYPE_RGB, 16},
        {"RGBA", PNG_COLOR_TYPE_RGBA, 8},
        {"RGBA 16-bit", PNG_COLOR_TYPE_RGBA, 16},
        {"RGB interlaced", PNG_COLOR_TYPE_RGB, 8, true},
        {"RGBA 16-bit interlaced", PNG_COLOR_TYPE_RGBA, 16, true},
        {"palette interlaced", PNG_COLOR_TYPE_PALETTE, 8, true},
    };
    for (const PngCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> rgb, palette, trns;
        std::vector<uint8_t> samples = pngSamples(c, rgb, palette, trns);
        PngLayout layout{kW, kH, c.colourType, c.depth, c.interlaced, palette, trns};
        const std::vector<uint8_t> file = testpictures::writePng(layout, samples);

        ASSERT_EQ(decodePicture(file.data(), file.size(), images.rightImage), "");
        resamplePicture(rgb.data(), kW, kH, images.leftImage);
        EXPECT_TRUE(images.rightImage == images.leftImage);
    }
}

// 48 x 32 in flat blocks of 16 x 16, six colours far apart, laid out
//   A B C
//   D E F
// so every way of turning the picture puts the blocks somewhere else.
constexpr int kBlock = 16;
struct Rgb {
    int r, g, b;
};
constexpr Rgb kBlocks[6] = {{230, 20, 20},  {20, 200, 20},  {30, 30, 220},
                            {230, 220, 30}, {220, 30, 210}, {30, 210, 210}};

std::vector<uint8_t> blockSamples(bool grey) {
    std::vector<uint8_t> samples;
    for (int y = 0; y < 2 * kBlock; ++y)
        for (int x = 0; x < 3 * kBlock; ++x) {
            const Rgb c = kBlocks[(y / kBlock) * 3 + x / kBlock];
            if (grey)
                samples.push_back(static_cast<uint8_t>((c.r + c.g + c.b) / 3));
            else
                samples.insert(samples.end(), {static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g),
                                               static_cast<uint8_t>(c.b)});
        }
    return samples;
}

// Checks the centre of every block of the upright layout (rows of letters, top
// first) on the grid, within the loss of a JPEG at quality 95.
void expectBlocks(const WorkImage& grid, const std::vector<std::string>& rows, bool grey) {
    const int across = static_cast<int>(rows[0].size()), down = static_cast<int>(rows.size());
    for (int by = 0; by < down; ++by)
        for (int bx = 0; bx < across; ++bx) {
            const Rgb c = kBlocks[rows[by][bx] - 'A'];
            const int x = (2 * bx + 1) * kWorkWidth / (2 * across);
            const int y = kWorkHeight - 1 - (2 * by + 1) * kWorkHeight / (2 * down);  // from bottom
            const uint8_t* p = &grid[(static_cast<size_t>(y) * kWorkWidth + x) * 3];
            const int want[3] = {grey ? (c.r + c.g + c.b) / 3 : c.r,
                                 grey ? (c.r + c.g + c.b) / 3 : c.g,
                                 grey ? (c.r + c.g + c.b) / 3 : c.b};
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(p[k], want[k], 6) << "block " << rows[by][bx] << " channel " << k;
        }
}

TEST_F(PhotosTest, JpegsShowUprightWhateverTheirOrientation) {
    struct Case {
        const char* name;
        JpegLayout layout;
        std::vector<std::string> upright;
    };
    const Case cases[] = {
        {"baseline, no EXIF", {}, {"ABC", "DEF"}},
        {"baseline grey", {.grey = true}, {"ABC", "DEF"}},
        {"progressive grey", {.progressive = true, .grey = true}, {"ABC", "DEF"}},
        {"progressive, full chroma", {.progressive = true, .subsampled = false}, {"ABC", "DEF"}},
        {"orientation 1", {.orientation = 1}, {"ABC", "DEF"}},
        {"2: mirrored", {.orientation = 2}, {"CBA", "FED"}},
        {"3: upside down", {.orientation = 3}, {"FED", "CBA"}},
        {"4: flipped", {.orientation = 4}, {"DEF", "ABC"}},
        {"5: transposed", {.orientation = 5}, {"AD", "BE", "CF"}},
        {"6: turned right to show", {.progressive = true, .orientation = 6}, {"DA", "EB", "FC"}},
        {"7: transverse", {.orientation = 7}, {"FC", "EB", "DA"}},
        {"8: turned left to show", {.orientation = 8}, {"CF", "BE", "AD"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> file =
            testpictures::writeJpeg(3 * kBlock, 2 * kBlock, blockSamples(c.layout.grey), c.layout);
        ASSERT_EQ(decodePicture(file.data(), file.size(), images.rightImage), "");
        expectBlocks(images.rightImage, c.upright, c.layout.grey);
    }
}

// A PNG that declares a size and holds one pixel.
std::vector<uint8_t> pngHeaderOnly(uint32_t width, uint32_t height) {
    PngLayout layout;
    layout.width = layout.height = 1;
    std::vector<uint8_t> file = testpictures::writePng(layout, {0, 0, 0});
    for (int k = 0; k < 4; ++k) {
        file[16 + k] = static_cast<uint8_t>(width >> (24 - 8 * k));
        file[20 + k] = static_cast<uint8_t>(height >> (24 - 8 * k));
    }
    // The header's checksum covers the size; renew it so only the size is odd.
    const uLong crc = crc32(0, file.data() + 12, 17);
    for (int k = 0; k < 4; ++k) file[29 + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
    return file;
}

TEST_F(PhotosTest, DamagedOversizedOrCmykPicturesAreRefusedWithTheirReason) {
    std::vector<uint8_t> rgb, palette, trns;
    PngLayout layout;
    layout.width = kW;
    layout.height = kH;
    const std::vector<uint8_t> png = testpictures::writePng(
        layout, pngSamples({"RGB", PNG_COLOR_TYPE_RGB, 8}, rgb, palette, trns));
    std::vector<uint8_t> pngBadChecksum = png;
    pngBadChecksum[png.size() - 14] ^= 0x55;  // the pixel chunk's checksum, before IEND
    const std::vector<uint8_t> jpeg = testpictures::writeJpeg(48, 32, blockSamples(false), {});
    std::vector<uint8_t> jpegTooWide = jpeg;
    // The frame header (SOF0) holds the height, then the width, big-endian.
    for (size_t k = 2; k + 8 < jpegTooWide.size(); ++k)
        if (jpegTooWide[k] == 0xFF && jpegTooWide[k + 1] == 0xC0) {
            jpegTooWide[k + 7] = 16385 >> 8;
            jpegTooWide[k + 8] = 16385 & 0xFF;
            break;
        }
    const std::vector<uint8_t> manyScans = testpictures::writeJpeg(
        48, 32, std::vector<uint8_t>(48 * 32, 90), {.grey = true, .manyScans = true});
    const std::vector<uint8_t> cmyk =
        testpictures::writeJpeg(8, 8, std::vector<uint8_t>(4 * 64, 100), {.cmyk = true});

    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* reason;
    };
    const Case cases[] = {
        {"PNG cut short", std::vector<uint8_t>(png.begin(), png.end() - 30),
         "damaged PNG file: file ends early"},
        {"PNG with a bad checksum", pngBadChecksum, "damaged PNG file: IDAT: CRC error"},
        {"PNG too wide", pngHeaderOnly(2000000, 1), "PNG width 2000000 outside 1..16384"},
        {"PNG too many pixels", pngHeaderOnly(16384, 16384),
         "more than 67108864 pixels (268435456)"},
        {"JPEG cut short", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2),
         "damaged JPEG file: Premature end of JPEG file"},
        {"JPEG marker alone", {0xFF, 0xD8}, "damaged JPEG file: "},
        {"JPEG too wide", jpegTooWide, "JPEG width 16385 outside 1..16384"},
        {"JPEG in 127 scans", manyScans, "JPEG with more than 100 scans"},
        {"CMYK JPEG", cmyk, "CMYK JPEG not supported (RGB or grey are read)"},
        {"neither", {'G', 'I', 'F', '8', '9', 'a'}, "not a BMP, PNG or JPEG file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string reason = decodePicture(c.file.data(), c.file.size(), images.rightImage);
        EXPECT_EQ(reason.rfind(c.reason, 0), 0u) << reason;
    }
}

}  // namespace
}  // namespace mw
