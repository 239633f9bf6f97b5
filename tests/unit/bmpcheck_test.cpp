// The strict check of picture files: every refused variant with its reason, every
// accepted variant decoding to the same pixels, and the files that cannot be read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "panels/panels.h"
#include "tests/support/fixtures.h"

namespace mw {
namespace {

// The test picture: 6 x 5 (no symmetry to hide a swapped row or column), every
// pixel a different colour, red rising to the right, green rising downwards and
// blue falling, so a swap of rows, columns or the red and blue bytes shows.
constexpr int kW = 6;
constexpr int kH = 5;
struct Rgb {
    uint8_t r, g, b;
};
Rgb colourAt(int x, int y) {  // y counted from the top row
    return {static_cast<uint8_t>(200 + 10 * x), static_cast<uint8_t>(20 + 40 * y),
            static_cast<uint8_t>(90 - 3 * x - 11 * y)};
}

// A BMP file written field by field, so each test can bend exactly one field.
struct BmpLayout {
    uint32_t headerBytes = 40;
    int bits = 24;
    uint32_t compression = 0;
    std::array<uint32_t, 4> masks{};  // red, green, blue, alpha (108/124-byte headers)
    bool masksAfterHeader = false;    // three masks behind a 40-byte header
    bool topDown = false;
    int planes = 1;
    int32_t width = kW;
    int32_t height = kH;  // before topDown negates it
    int paletteEntries = kW * kH;
    int32_t coloursUsed = -1;  // -1: the palette's length
    int gapBytes = 0;          // between the palette and the pixels
    int offsetShift = 0;       // added to the recorded pixel offset only
    int indexOverride = -1;    // 8-bit: index of the bottom-right pixel
    int alphaByte = 0x80;      // fourth byte of 32-bit pixels
    size_t cut = 0;            // bytes cut from the end
};

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::vector<uint8_t> makeBmp(const BmpLayout& s) {
    std::vector<uint8_t> info;
    put32(info, s.headerBytes);
    put32(info, static_cast<uint32_t>(s.width));
    put32(info, static_cast<uint32_t>(s.topDown ? -s.height : s.height));
    put16(info, s.planes);
    put16(info, s.bits);
    put32(info, s.compression);
    put32(info, 0);  // image size: zero is allowed for uncompressed pixels
    put32(info, 2835);
    put32(info, 2835);
    const int palette = s.bits == 8 ? s.paletteEntries : 0;
    put32(info, static_cast<uint32_t>(s.coloursUsed >= 0 ? s.coloursUsed : palette));
    put32(info, 0);
    if (s.headerBytes >= 108) {
        for (uint32_t m : s.masks) put32(info, m);
        put32(info, 0x73524742);  // 'sRGB'
        info.resize(108, 0);      // end points and gamma
    }
    if (s.headerBytes == 124) {
        put32(info, 4);  // intent
        put32(info, 0);
        put32(info, 0);
        put32(info, 0);
    }
    if (s.masksAfterHeader)
        for (int k = 0; k < 3; ++k) put32(info, s.masks[k]);
    for (int k = 0; k < palette; ++k) {
        const Rgb c = k < kW * kH ? colourAt(k % kW, k / kW) : Rgb{1, 2, 3};
        info.insert(info.end(), {c.b, c.g, c.r, 0});
    }
    info.resize(info.size() + s.gapBytes, 0x77);

    std::vector<uint8_t> pixels;
    const int rows = s.height > 0 && s.height <= kH ? s.height : kH;
    const int cols = s.width > 0 && s.width <= kW ? s.width : kW;
    for (int k = 0; k < rows; ++k) {
        const int y = s.topDown ? k : rows - 1 - k;
        for (int x = 0; x < cols; ++x) {
            const Rgb c = colourAt(x, y);
            if (s.bits == 8) {
                const bool last = x == cols - 1 && y == rows - 1;
                pixels.push_back(last && s.indexOverride >= 0 ? s.indexOverride : y * kW + x);
            } else if (s.bits == 16) {
                put16(pixels, (c.r >> 3) << 10 | (c.g >> 3) << 5 | c.b >> 3);
            } else {
                pixels.insert(pixels.end(), {c.b, c.g, c.r});
                if (s.bits == 32) pixels.push_back(static_cast<uint8_t>(s.alphaByte));
            }
        }
        while (pixels.size() % 4) pixels.push_back(0);
    }

    std::vector<uint8_t> file = {'B', 'M'};
    const uint32_t offset = static_cast<uint32_t>(14 + info.size() + s.offsetShift);
    put32(file, static_cast<uint32_t>(14 + info.size() + pixels.size()));
    put32(file, 0);
    put32(file, offset);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    file.resize(file.size() - s.cut);
    return file;
}

constexpr std::array<uint32_t, 4> kRgbMasks{0xFF0000, 0xFF00, 0xFF, 0};
constexpr std::array<uint32_t, 4> kRgbaMasks{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
constexpr std::array<uint32_t, 4> kBgrMasks{0xFF, 0xFF00, 0xFF0000, 0};

// Where the tests decode to: a picture buffer of the program, cleared by the fixture.
WorkImage& decoded() {
    return images.rightImage;
}

// The source pixel the 6 x 5 picture puts at grid pixel (j, k), k counted from the
// bottom: column trunc(j / (256 / 6)), row trunc((292 - k) / (293 / 5)) from the top.
Rgb expectedAt(int j, int k) {
    const int x = static_cast<int>(j / (256.0 / kW));
    const int y = static_cast<int>((292 - k) / (293.0 / kH));
    return colourAt(x, y);
}

void expectTestPicture(const WorkImage& picture) {
    const int points[][2] = {{0, 0},   {255, 0},   {0, 292},   {255, 292}, {42, 58},
                             {43, 59}, {128, 146}, {213, 234}, {214, 235}, {100, 200}};
    for (const auto& p : points) {
        SCOPED_TRACE(testing::Message() << "grid pixel " << p[0] << ", " << p[1]);
        const Rgb want = expectedAt(p[0], p[1]);
        const size_t at = (static_cast<size_t>(p[1]) * kWorkWidth + p[0]) * 3;
        EXPECT_EQ(picture[at], want.r);
        EXPECT_EQ(picture[at + 1], want.g);
        EXPECT_EQ(picture[at + 2], want.b);
    }
}

class BmpCheckTest : public testfixtures::CleanProgram {};

TEST_F(BmpCheckTest, PlainPictureLandsOnTheGridBottomRowFirst) {
    const std::vector<uint8_t> file = makeBmp({});
    ASSERT_EQ(decodePicture(file.data(), file.size(), decoded()), "");
    expectTestPicture(decoded());
}

TEST_F(BmpCheckTest, AcceptedVariantsDecodeToTheSamePixels) {
    struct Case {
        const char* name;
        BmpLayout layout;
        bool rewritten;  // handed to the decoder as an equivalent V4 picture
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, auto edit, bool rewritten = false) {
        BmpLayout s;
        edit(s);
        cases.push_back({name, s, rewritten});
    };
    add("24-bit", [](BmpLayout&) {});
    add("24-bit top-down", [](BmpLayout& s) { s.topDown = true; });
    add("24-bit with a gap before the pixels", [](BmpLayout& s) { s.gapBytes = 6; });
    add("32-bit", [](BmpLayout& s) { s.bits = 32; });
    add("32-bit top-down, alpha byte 0", [](BmpLayout& s) {
        s.bits = 32;
        s.topDown = true;
        s.alphaByte = 0;
    });
    add("8-bit palette", [](BmpLayout& s) { s.bits = 8; });
    add("8-bit palette, top-down, colours used 0", [](BmpLayout& s) {
        s.bits = 8;
        s.topDown = true;
        s.coloursUsed = 0;
    });
    add("8-bit, 256 entries", [](BmpLayout& s) {
        s.bits = 8;
        s.paletteEntries = 256;
    });
    add("V4 24-bit", [](BmpLayout& s) { s.headerBytes = 108; });
    add("V4 8-bit", [](BmpLayout& s) {
        s.headerBytes = 108;
        s.bits = 8;
    });
    add("V4 32-bit masks with alpha", [](BmpLayout& s) {
        s.headerBytes = 108;
        s.bits = 32;
        s.compression = 3;
        s.masks = kRgbaMasks;
    });
    add("V4 32-bit masks without alpha", [](BmpLayout& s) {
        s.headerBytes = 108;
        s.bits = 32;
        s.compression = 3;
        s.masks = kRgbMasks;
    });
    // Uncompressed pixels ignore the header's masks; the decoder would apply them
    // (or refuse zero masks), so it is handed the plain masks.
    add(
        "V4 32-bit uncompressed, zero masks",
        [](BmpLayout& s) {
            s.headerBytes = 108;
            s.bits = 32;
        },
        true);
    add(
        "V4 32-bit uncompressed, blue-green-red masks",
        [](BmpLayout& s) {
            s.headerBytes = 108;
            s.bits = 32;
            s.masks = kBgrMasks;
        },
        true);
    add(
        "V5 24-bit", [](BmpLayout& s) { s.headerBytes = 124; }, true);
    add(
        "V5 24-bit top-down",
        [](BmpLayout& s) {
            s.headerBytes = 124;
            s.topDown = true;
        },
        true);
    add(
        "V5 8-bit",
        [](BmpLayout& s) {
            s.headerBytes = 124;
            s.bits = 8;
        },
        true);
    add(
        "V5 32-bit masks with alpha",
        [](BmpLayout& s) {
            s.headerBytes = 124;
            s.bits = 32;
            s.compression = 3;
            s.masks = kRgbaMasks;
        },
        true);
    add(
        "V5 32-bit uncompressed",
        [](BmpLayout& s) {
            s.headerBytes = 124;
            s.bits = 32;
            s.gapBytes = 4;
        },
        true);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> file = makeBmp(c.layout);
        const BmpCheck check = checkBmp(file.data(), file.size());
        EXPECT_EQ(check.reason, "");
        EXPECT_EQ(check.width, kW);
        EXPECT_EQ(check.height, kH);
        EXPECT_EQ(!check.decoderBytes.empty(), c.rewritten);
        decoded().fill(0);
        ASSERT_EQ(decodePicture(file.data(), file.size(), decoded()), "");
        expectTestPicture(decoded());
    }
}

TEST_F(BmpCheckTest, V5PictureReachesTheDecoderAsTheSameV4Picture) {
    BmpLayout v5;
    v5.headerBytes = 124;
    v5.bits = 8;
    BmpLayout v4 = v5;
    v4.headerBytes = 108;
    const std::vector<uint8_t> fromV5 = makeBmp(v5);
    const BmpCheck check = checkBmp(fromV5.data(), fromV5.size());
    ASSERT_EQ(check.reason, "");
    std::vector<uint8_t> want = makeBmp(v4);
    EXPECT_EQ(check.decoderBytes, want);
}

TEST_F(BmpCheckTest, RefusedVariantsNameTheirReason) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* reason;
        // What loading says, where it reads the file as another format.
        const char* loadReason = nullptr;
    };
    auto bmp = [](auto edit) {
        BmpLayout s;
        edit(s);
        return makeBmp(s);
    };
    const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    std::vector<uint8_t> os2 = makeBmp({});
    os2[14] = 12;
    std::vector<uint8_t> shortHeader = makeBmp({});
    shortHeader.resize(30);
    const Case cases[] = {
        {"empty", {}, "empty file"},
        {"one byte", {'B'}, "not a BMP file", "not a BMP, PNG or JPEG file"},
        {"PNG under a .bmp name", png, "not a BMP file", "damaged PNG file"},
        {"JPEG", {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F'}, "not a BMP file",
         "damaged JPEG file"},
        {"header cut short", shortHeader, "truncated BMP header"},
        {"OS/2 12-byte header", os2, "header of 12 bytes"},
        {"52-byte header", bmp([](BmpLayout& s) { s.headerBytes = 52; }), "header of 52 bytes"},
        {"two planes", bmp([](BmpLayout& s) { s.planes = 2; }), "2 colour planes"},
        {"RLE8", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.compression = 1;
         }),
         "compressed BMP (type 1)"},
        {"RLE4", bmp([](BmpLayout& s) { s.compression = 2; }), "compressed BMP (type 2)"},
        {"JPEG inside", bmp([](BmpLayout& s) { s.compression = 4; }), "compressed BMP (type 4)"},
        {"compression 7", bmp([](BmpLayout& s) { s.compression = 7; }), "compression type 7"},
        {"1-bit", bmp([](BmpLayout& s) { s.bits = 1; }), "1-bit BMP not supported"},
        {"4-bit", bmp([](BmpLayout& s) { s.bits = 4; }), "4-bit BMP not supported"},
        {"16-bit", bmp([](BmpLayout& s) { s.bits = 16; }), "16-bit BMP not supported"},
        {"masks behind a 40-byte header", bmp([](BmpLayout& s) {
             s.bits = 32;
             s.compression = 3;
             s.masks = kRgbMasks;
             s.masksAfterHeader = true;
         }),
         "masks behind a 40-byte header"},
        {"24-bit with masks", bmp([](BmpLayout& s) {
             s.headerBytes = 108;
             s.compression = 3;
         }),
         "masks with 24-bit pixels"},
        {"V4 blue-green-red masks", bmp([](BmpLayout& s) {
             s.headerBytes = 108;
             s.bits = 32;
             s.compression = 3;
             s.masks = kBgrMasks;
         }),
         "masks other than 8-bit RGB"},
        {"V4 alpha in the low byte", bmp([](BmpLayout& s) {
             s.headerBytes = 108;
             s.bits = 32;
             s.compression = 3;
             s.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF};
         }),
         "masks other than 8-bit RGB"},
        {"width 0", bmp([](BmpLayout& s) { s.width = 0; }), "width 0 outside"},
        {"negative width", bmp([](BmpLayout& s) { s.width = -6; }), "width -6 outside"},
        {"width 16385", bmp([](BmpLayout& s) { s.width = 16385; }), "width 16385 outside"},
        {"height 0", bmp([](BmpLayout& s) { s.height = 0; }), "height 0"},
        {"height 16385", bmp([](BmpLayout& s) { s.height = 16385; }),
         "height 16385 outside 1..16384 either way up"},
        {"height -16385", bmp([](BmpLayout& s) { s.height = -16385; }),
         "height -16385 outside 1..16384 either way up"},
        {"height -2147483648", bmp([](BmpLayout& s) { s.height = INT32_MIN; }),
         "height -2147483648 outside 1..16384 either way up"},
        {"65536 x 65536, a wrapping product", bmp([](BmpLayout& s) {
             s.width = 65536;
             s.height = 65536;
         }),
         "width 65536 outside"},
        {"16384 x 4097", bmp([](BmpLayout& s) {
             s.width = 16384;
             s.height = 4097;
         }),
         "more than 67108864 pixels"},
        {"pixel offset inside the header", bmp([](BmpLayout& s) { s.offsetShift = -2; }),
         "inside the headers"},
        {"last byte missing", bmp([](BmpLayout& s) { s.cut = 1; }),
         "truncated pixel data (99 of 100 bytes)"},
        {"pixel offset past the end", bmp([](BmpLayout& s) { s.offsetShift = 1000; }),
         "truncated pixel data (0 of 100 bytes)"},
        {"8-bit without palette", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.paletteEntries = 0;
         }),
         "without a palette"},
        {"8-bit, 257 palette entries", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.paletteEntries = 257;
         }),
         "palette of 257 entries"},
        {"8-bit, 300 colours declared", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.coloursUsed = 300;
         }),
         "palette of 300 entries declared"},
        {"8-bit index past the palette", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.indexOverride = 30;
         }),
         "palette index 30 outside the 30 entries"},
        {"8-bit index past the declared colours", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.coloursUsed = 29;
         }),
         "palette index 29 outside the 29 entries"},
        {"8-bit index into the gap", bmp([](BmpLayout& s) {
             s.bits = 8;
             s.gapBytes = 8;
             s.indexOverride = 31;
         }),
         "palette index 31 outside the 30 entries"},
        {"V5 8-bit index past the palette", bmp([](BmpLayout& s) {
             s.headerBytes = 124;
             s.bits = 8;
             s.indexOverride = 255;
         }),
         "palette index 255 outside"},
        {"V5 pixels cut short", bmp([](BmpLayout& s) {
             s.headerBytes = 124;
             s.cut = 3;
         }),
         "truncated pixel data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const BmpCheck check = checkBmp(c.file.data(), c.file.size());
        EXPECT_NE(check.reason.find(c.reason), std::string::npos) << check.reason;
        EXPECT_TRUE(check.decoderBytes.empty());
        // Loading refuses it too, for the same reason unless it reads the file as
        // a PNG or a JPEG, or as none of the three.
        const std::string loaded = decodePicture(c.file.data(), c.file.size(), decoded());
        if (c.loadReason == nullptr)
            EXPECT_EQ(loaded, check.reason);
        else
            EXPECT_NE(loaded.find(c.loadReason), std::string::npos) << loaded;
    }
}

TEST_F(BmpCheckTest, IndicesInRowPaddingAreNotPixels) {
    // Rows of 6 indices are padded to 8 bytes; padding bytes may hold anything.
    BmpLayout s;
    s.bits = 8;
    std::vector<uint8_t> file = makeBmp(s);
    const size_t pixels = file.size() - 8 * kH;
    for (int row = 0; row < kH; ++row) file[pixels + row * 8 + 6] = 0xEE;
    EXPECT_EQ(checkBmp(file.data(), file.size()).reason, "");
}

// Inputs that once went wrong under the fuzzer, kept beside the fuzz target. Each
// must now give the same one-line reason every time (a reason once printed stack
// garbage for a format argument that was missing).
TEST_F(BmpCheckTest, FuzzerRegressionsGiveStableOneLineReasons) {
    const std::string file = __FILE__;
    const std::string dir = file.substr(0, file.rfind("/unit/")) + "/fuzz/regressions";
    const std::map<std::string, std::string> reasons = {
        {"height-outside-limit.bmp", "height -63748 outside 1..16384 either way up"},
    };
    for (const auto& [name, reason] : reasons) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> bytes;
        ASSERT_EQ(readPictureFile((dir + "/" + name).c_str(), bytes), "");
        EXPECT_EQ(decodePicture(bytes.data(), bytes.size(), decoded()), reason);
        EXPECT_EQ(checkBmp(bytes.data(), bytes.size()).reason, reason);
    }
}

class PictureFileTest : public testfixtures::CleanProgram {
protected:
    std::string dir;
    void SetUp() override {
        dir = testing::TempDir() + "bmpcheck_" + std::to_string(getpid());
        mkdir(dir.c_str(), 0700);
    }
    void TearDown() override {
        for (const char* name : {"empty.bmp", "fifo.bmp", "picture.bmp"})
            std::remove((dir + "/" + name).c_str());
        rmdir((dir + "/folder.bmp").c_str());
        rmdir(dir.c_str());
    }
    std::string write(const char* name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }
};

TEST_F(PictureFileTest, FilesThatCannotBeReadGiveTheirReason) {
    std::vector<uint8_t> bytes = {1, 2, 3};
    EXPECT_EQ(readPictureFile((dir + "/missing.bmp").c_str(), bytes), "No such file or directory");
    EXPECT_TRUE(bytes.empty());

    const std::string folder = dir + "/folder.bmp";
    mkdir(folder.c_str(), 0700);
    EXPECT_EQ(readPictureFile(folder.c_str(), bytes), "is a directory");

    const std::string fifo = dir + "/fifo.bmp";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readPictureFile(fifo.c_str(), bytes), "not a regular file");  // no hang

    const std::string empty = write("empty.bmp", {});
    EXPECT_EQ(readPictureFile(empty.c_str(), bytes), "");
    EXPECT_EQ(decodePicture(bytes.data(), bytes.size(), decoded()), "empty file");
}

TEST_F(PictureFileTest, WholeFileIsRead) {
    const std::vector<uint8_t> file = makeBmp({});
    const std::string path = write("picture.bmp", file);
    std::vector<uint8_t> bytes;
    EXPECT_EQ(readPictureFile(path.c_str(), bytes), "");
    EXPECT_EQ(bytes, file);
}

}  // namespace
}  // namespace mw
