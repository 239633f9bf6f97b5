// bmpcheck.cpp -- strict check of a picture file's bytes before the decoder sees them.
//
// The decoder bundled with SOIL sniffs the content and runs whichever of its loaders
// matches, several of which crash, hang or overflow the heap on crafted input; its BMP
// loader computes sizes in 32 bits, zero-fills truncated files without a word, copies
// bytes from past the palette for out-of-range indices, and ignores or misreads colour
// masks in some header variants. So only the BMP variants it decodes correctly pass,
// and every header field that sizes a buffer or a read is checked here first.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "panels/panels.h"

namespace mw {

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
constexpr uint32_t kV4HeaderBytes = 108;   // BITMAPV4HEADER: masks, colour space
constexpr uint32_t kV5HeaderBytes = 124;   // BITMAPV5HEADER: V4 plus intent and profile
constexpr uint32_t kCompressionNone = 0;   // BI_RGB
constexpr uint32_t kCompressionMasks = 3;  // BI_BITFIELDS
constexpr int kMaxPaletteEntries = 256;

constexpr uint32_t kRedMask = 0x00FF0000u;
constexpr uint32_t kGreenMask = 0x0000FF00u;
constexpr uint32_t kBlueMask = 0x000000FFu;
constexpr uint32_t kAlphaMask = 0xFF000000u;

// Offsets of the fields in the file (file header first, then the info header).
constexpr size_t kOffsetField = 10;
constexpr size_t kHeaderSizeField = 14;
constexpr size_t kWidthField = 18;
constexpr size_t kHeightField = 22;
constexpr size_t kPlanesField = 26;
constexpr size_t kBitsField = 28;
constexpr size_t kCompressionField = 30;
constexpr size_t kColoursUsedField = 46;
constexpr size_t kRedMaskField = 54;  // V4 and V5 only, then green, blue, alpha

uint32_t read16(const uint8_t* p) {
    return p[0] | p[1] << 8;
}
uint32_t read32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void write32(uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

// One line saying why the bytes are refused; the format is checked by the compiler.
[[gnu::format(printf, 1, 2)]] BmpCheck refuse(const char* format, ...) {
    BmpCheck result;
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    result.reason = text;
    return result;
}

// Every index of an 8-bit picture must name one of the palette's entries; the
// decoder would otherwise copy bytes from beyond the palette.
bool indicesInsidePalette(const uint8_t* pixels, long long stride, int width, int rows, int entries,
                          int& badIndex) {
    for (int y = 0; y < rows; ++y) {
        const uint8_t* row = pixels + stride * y;
        for (int x = 0; x < width; ++x) {
            if (row[x] >= entries) {
                badIndex = row[x];
                return false;
            }
        }
    }
    return true;
}

// The decoder refuses 124-byte headers, and it applies the masks of a V4 header
// even to uncompressed 32-bit pixels, where the format says to ignore them. Such
// pictures reach it as a V4 picture with the same pixels: the header cut to 108
// bytes, and for uncompressed 32-bit pixels the plain 8-bit RGB masks without alpha.
std::vector<uint8_t> equivalentV4(const uint8_t* bytes, uint32_t headerBytes, uint32_t pixelOffset,
                                  long long pixelBytes, bool plainMasks) {
    const size_t cut = headerBytes - kV4HeaderBytes;
    const size_t end = pixelOffset + static_cast<size_t>(pixelBytes);
    std::vector<uint8_t> out;
    out.reserve(end - cut);
    out.insert(out.end(), bytes, bytes + kFileHeaderBytes + kV4HeaderBytes);
    out.insert(out.end(), bytes + kFileHeaderBytes + headerBytes, bytes + end);
    write32(&out[2], static_cast<uint32_t>(out.size()));
    write32(&out[kOffsetField], static_cast<uint32_t>(pixelOffset - cut));
    write32(&out[kHeaderSizeField], kV4HeaderBytes);
    if (plainMasks) {
        write32(&out[kCompressionField], kCompressionMasks);
        write32(&out[kRedMaskField], kRedMask);
        write32(&out[kRedMaskField + 4], kGreenMask);
        write32(&out[kRedMaskField + 8], kBlueMask);
        write32(&out[kRedMaskField + 12], 0);
    }
    return out;
}

}  // namespace

BmpCheck checkBmp(const uint8_t* bytes, size_t size) {
    if (size == 0) return refuse("empty file");
    if (size > kMaxPictureFileBytes)
        return refuse("file larger than %lld bytes", kMaxPictureFileBytes);
    if (size < 2 || bytes[0] != 'B' || bytes[1] != 'M')
        return refuse("not a BMP file (no BM signature)");
    if (size < kHeaderSizeField + 4) return refuse("truncated BMP header");
    const uint32_t headerBytes = read32(bytes + kHeaderSizeField);
    if (headerBytes != kInfoHeaderBytes && headerBytes != kV4HeaderBytes &&
        headerBytes != kV5HeaderBytes)
        return refuse("unsupported BMP header of %u bytes (40, 108 or 124 are read)", headerBytes);
    if (size < kFileHeaderBytes + headerBytes) return refuse("truncated BMP header");

    const long long width = static_cast<int32_t>(read32(bytes + kWidthField));
    const long long storedHeight = static_cast<int32_t>(read32(bytes + kHeightField));
    const uint32_t planes = read16(bytes + kPlanesField);
    const uint32_t bits = read16(bytes + kBitsField);
    const uint32_t compression = read32(bytes + kCompressionField);
    const uint32_t coloursUsed = read32(bytes + kColoursUsedField);
    const uint32_t pixelOffset = read32(bytes + kOffsetField);
    const bool hasMasks = headerBytes >= kV4HeaderBytes;

    if (planes != 1) return refuse("BMP with %u colour planes (1 is read)", planes);
    if (compression == 1 || compression == 2 || compression == 4 || compression == 5)
        return refuse("compressed BMP (type %u) not supported", compression);
    if (compression != kCompressionNone && compression != kCompressionMasks)
        return refuse("unknown BMP compression type %u", compression);
    if (bits != 8 && bits != 24 && bits != 32)
        return refuse("%u-bit BMP not supported (8, 24 or 32 bits are read)", bits);
    if (compression == kCompressionMasks && bits != 32)
        return refuse("colour masks with %u-bit pixels not supported", bits);
    if (compression == kCompressionMasks && !hasMasks)
        return refuse("colour masks behind a 40-byte header not supported");
    if (compression == kCompressionMasks) {
        const uint8_t* m = bytes + kRedMaskField;
        const uint32_t alpha = read32(m + 12);
        if (read32(m) != kRedMask || read32(m + 4) != kGreenMask || read32(m + 8) != kBlueMask ||
            (alpha != 0 && alpha != kAlphaMask))
            return refuse("colour masks other than 8-bit RGB(A) not supported");
    }

    if (width < 1 || width > kMaxPictureSide)
        return refuse("width %lld outside 1..%lld", width, kMaxPictureSide);
    if (storedHeight == 0) return refuse("height 0");
    const long long height = std::llabs(storedHeight);
    if (height > kMaxPictureSide)
        return refuse("height %lld outside 1..%lld either way up", storedHeight, kMaxPictureSide);
    if (width * height > kMaxPicturePixels)
        return refuse("more than %lld pixels (%lld)", kMaxPicturePixels, width * height);

    const long long headersEnd = kFileHeaderBytes + headerBytes;
    if (pixelOffset < headersEnd)
        return refuse("pixel data at offset %u, inside the headers (%lld bytes)", pixelOffset,
                      headersEnd);
    const long long stride = (width * bits + 31) / 32 * 4;
    const long long pixelBytes = stride * height;
    if (pixelOffset + pixelBytes > static_cast<long long>(size))
        return refuse("truncated pixel data (%lld of %lld bytes)",
                      std::max(0LL, static_cast<long long>(size) - pixelOffset), pixelBytes);

    if (bits == 8) {
        // The decoder takes every 4-byte entry between the headers and the pixels as
        // the palette; an entry counts only when the header declares it too.
        const long long present = (pixelOffset - headersEnd) / 4;
        if (present < 1) return refuse("8-bit BMP without a palette");
        if (present > kMaxPaletteEntries)
            return refuse("palette of %lld entries (at most 256)", present);
        if (coloursUsed > kMaxPaletteEntries)
            return refuse("palette of %u entries declared (at most 256)", coloursUsed);
        const int entries = static_cast<int>(
            coloursUsed == 0 ? present : std::min<long long>(coloursUsed, present));
        int badIndex = 0;
        if (!indicesInsidePalette(bytes + pixelOffset, stride, static_cast<int>(width),
                                  static_cast<int>(height), entries, badIndex))
            return refuse("palette index %d outside the %d entries", badIndex, entries);
    }

    BmpCheck result;
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);
    const bool plainMasks = hasMasks && bits == 32 && compression == kCompressionNone;
    if (headerBytes == kV5HeaderBytes || plainMasks)
        result.decoderBytes = equivalentV4(bytes, headerBytes, pixelOffset, pixelBytes, plainMasks);
    return result;
}

}  // namespace mw
