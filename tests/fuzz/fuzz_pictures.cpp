// fuzz_pictures.cpp -- libFuzzer target over the picture-loading path as the program
// runs it: for a BMP the strict check and decoding by SOIL, for a PNG or JPEG our
// glue around libpng, libjpeg and libexif; then conversion to RGB, turning upright,
// resampling onto the 256 x 293 grid and row reversal.
//
// The decoders are prebuilt libraries without the sanitizers' instrumentation, so
// a wrong decode would pass unseen. Every BMP the check accepts is therefore also
// read here by a plain reference reader of the accepted BMP variants, put on the
// grid the same way, and the two grids must agree byte for byte. PNG and JPEG
// files must load or be refused with one line, without a fault in our code.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "panels/panels.h"

namespace {

uint32_t read16(const uint8_t* p) {
    return p[0] | p[1] << 8;
}
uint32_t read32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads an accepted BMP as the format defines it: rows bottom-up unless the height
// is negative, rows padded to 4 bytes, blue-green-red byte order, palette entries of
// 4 bytes after the headers. Returns the picture top row first, 3 bytes a pixel.
std::vector<uint8_t> referenceRead(const uint8_t* bytes, int width, int height) {
    const uint32_t headerBytes = read32(bytes + 14);
    const int32_t storedHeight = static_cast<int32_t>(read32(bytes + 22));
    const uint32_t bits = read16(bytes + 28);
    const uint32_t offset = read32(bytes + 10);
    const uint8_t* palette = bytes + 14 + headerBytes;
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (int k = 0; k < height; ++k) {
        const int y = storedHeight < 0 ? k : height - 1 - k;
        const uint8_t* row = bytes + offset + stride * k;
        for (int x = 0; x < width; ++x) {
            const uint8_t* bgr = bits == 8 ? palette + 4 * row[x] : row + x * (bits / 8);
            uint8_t* out = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = bgr[2];
            out[1] = bgr[1];
            out[2] = bgr[0];
        }
    }
    return rgb;
}

mw::WorkImage loaded;
mw::WorkImage expected;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reason = mw::decodePicture(data, size, loaded);
    if (reason.find('\n') != std::string::npos) {
        std::fprintf(stderr, "reason spans lines: %s\n", reason.c_str());
        std::abort();
    }
    if (mw::isPng(data, size) || mw::isJpeg(data, size)) return 0;
    const mw::BmpCheck check = mw::checkBmp(data, size);
    if (!check.reason.empty()) {
        const bool bmp = size >= 2 && data[0] == 'B' && data[1] == 'M';
        if (reason != (bmp || size == 0 ? check.reason : "not a BMP, PNG or JPEG file")) {
            std::fprintf(stderr, "refused picture reached the decoder: %s\n", reason.c_str());
            std::abort();
        }
        return 0;
    }
    if (!reason.empty()) {
        // The check accepted a picture that the decoder then refused or misreported.
        std::fprintf(stderr, "accepted picture not decoded: %s\n", reason.c_str());
        std::abort();
    }
    const std::vector<uint8_t> rgb = referenceRead(data, check.width, check.height);
    mw::resamplePicture(rgb.data(), check.width, check.height, expected);
    if (loaded != expected) {
        std::fprintf(stderr, "decoded picture differs from the reference reading\n");
        std::abort();
    }
    return 0;
}
