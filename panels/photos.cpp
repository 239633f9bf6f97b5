// photos.cpp -- PNG and JPEG pictures: decoding by libpng and libjpeg-turbo into a
// plain RGB picture (8 bits a sample, top row first), and a JPEG's EXIF orientation
// read by libexif.
//
// Both libraries report errors by jumping: libpng to its setjmp buffer, and our
// libjpeg error handler likewise (its default one would end the process). A
// longjmp skips destructors, so the functions that call setjmp hold no C++ object
// with a destructor; what they allocate is owned by the plain record passed in and
// freed by the caller after they return.
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>
#include <png.h>

#include "panels/panels.h"

namespace mw {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint8_t kJpegStartOfImage[2] = {0xFF, 0xD8};
// A progressive JPEG may spread its data over any number of scans, each a pass
// over the whole picture; photos use about ten.
constexpr int kMaxJpegScans = 100;
constexpr int kMessageBytes = 200;

// Everything a decoding function hands back; plain, so a longjmp may cross it.
struct Decoding {
    uint8_t* pixels = nullptr;  // malloc'ed, width * height * 3 bytes
    int width = 0;
    int height = 0;
    char message[kMessageBytes] = {};  // why decoding stopped, when it did
};

[[gnu::format(printf, 2, 3)]] void setMessage(Decoding& d, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(d.message, sizeof d.message, format, args);
    va_end(args);
}

// The size limits of every picture, checked before any pixel buffer exists.
bool withinLimits(Decoding& d, const char* format, long long width, long long height) {
    if (width < 1 || width > kMaxPictureSide) {
        setMessage(d, "%s width %lld outside 1..%lld", format, width, kMaxPictureSide);
        return false;
    }
    if (height < 1 || height > kMaxPictureSide) {
        setMessage(d, "%s height %lld outside 1..%lld", format, height, kMaxPictureSide);
        return false;
    }
    if (width * height > kMaxPicturePixels) {
        setMessage(d, "more than %lld pixels (%lld)", kMaxPicturePixels, width * height);
        return false;
    }
    return true;
}

bool allocatePixels(Decoding& d, long long width, long long height) {
    d.pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(width * height * 3)));
    if (d.pixels == nullptr) {
        setMessage(d, "out of memory");
        return false;
    }
    d.width = static_cast<int>(width);
    d.height = static_cast<int>(height);
    return true;
}

// --- PNG ----------------------------------------------------------------------------

struct PngSource {
    const uint8_t* bytes;
    size_t size;
    size_t at;
};

void pngRead(png_structp png, png_bytep out, size_t length) {
    PngSource& source = *static_cast<PngSource*>(png_get_io_ptr(png));
    if (source.size - source.at < length) png_error(png, "file ends early");
    std::memcpy(out, source.bytes + source.at, length);
    source.at += length;
}

// Jumps back to png_jmpbuf itself: were it to return, libpng would print the
// message before jumping.
[[noreturn]] void pngError(png_structp png, png_const_charp message) {
    setMessage(*static_cast<Decoding*>(png_get_error_ptr(png)), "damaged PNG file: %s", message);
    png_longjmp(png, 1);
}

// Warnings concern what the picture does not need (a colour profile, a text
// chunk with a bad checksum); the pixels are sound, so they are not shown.
void pngWarning(png_structp, png_const_charp) {}

// Decodes with every transform that ends in 8-bit RGB: palette and grey expanded,
// 16-bit samples scaled to 8, alpha (and palette transparency) dropped. No
// gamma correction: the samples are taken as stored, as from a BMP.
bool readPng(png_structp png, png_infop info, Decoding& d) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (!withinLimits(d, "PNG", width, height)) return false;

    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_scale_16(png);
    if ((colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_strip_alpha(png);
    if ((colourType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) {
        setMessage(d, "PNG layout not turned into 8-bit RGB");
        return false;
    }

    if (!allocatePixels(d, width, height)) return false;
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, d.pixels + stride * y, nullptr);
    png_read_end(png, nullptr);  // checks the data up to the end marker
    return true;
}

// --- JPEG ---------------------------------------------------------------------------

struct JpegErrors {
    jpeg_error_mgr manager;  // first, so the library's pointer is ours too
    jmp_buf jump;
    Decoding* decoding;
};

[[noreturn]] void jpegStop(j_common_ptr cinfo) {
    JpegErrors& errors = *reinterpret_cast<JpegErrors*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    setMessage(*errors.decoding, "damaged JPEG file: %s", text);
    std::longjmp(errors.jump, 1);
}

// Level -1 is a warning about damaged data (a file cut short, a bad code), which
// the library would paper over with grey; such a picture is refused instead. Two
// warnings leave the pixels whole: an unknown JFIF version, and stray bytes
// between two segments. Other levels are trace messages and stay silent.
void jpegMessage(j_common_ptr cinfo, int level) {
    const int code = cinfo->err->msg_code;
    if (level < 0 && code != JWRN_JFIF_MAJOR && code != JWRN_EXTRANEOUS_DATA) jpegStop(cinfo);
}

void jpegProgress(j_common_ptr cinfo) {
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > kMaxJpegScans) {
        JpegErrors& errors = *reinterpret_cast<JpegErrors*>(cinfo->err);
        setMessage(*errors.decoding, "JPEG with more than %d scans", kMaxJpegScans);
        std::longjmp(errors.jump, 1);
    }
}

// The orientation (1..8) in the EXIF data of an APP1 segment, 1 when absent or
// not one of the eight.
int exifOrientation(const uint8_t* data, unsigned size) {
    ExifData* exif = exif_data_new();
    if (exif == nullptr) return 1;
    // Loading as found: the option that completes the data per the standard
    // would invent entries, an orientation among them.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, data, size);
    int orientation = 1;
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry != nullptr && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 &&
        entry->size >= 2) {
        const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        if (value >= 1 && value <= 8) orientation = value;
    }
    exif_data_unref(exif);
    return orientation;
}

int jpegOrientation(j_decompress_ptr cinfo) {
    static constexpr char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next)
        if (m->marker == JPEG_APP0 + 1 && m->data_length > sizeof kExifHeader &&
            std::memcmp(m->data, kExifHeader, sizeof kExifHeader) == 0)
            return exifOrientation(m->data, m->data_length);
    return 1;
}

bool readJpeg(j_decompress_ptr cinfo, JpegErrors& errors, jpeg_progress_mgr* progress,
              const uint8_t* bytes, size_t size, int& orientation) {
    Decoding& d = *errors.decoding;
    if (setjmp(errors.jump)) return false;
    jpeg_create_decompress(cinfo);  // clears every field but the error manager
    cinfo->progress = progress;
    jpeg_mem_src(cinfo, bytes, static_cast<unsigned long>(size));
    jpeg_save_markers(cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(cinfo, TRUE);
    if (!withinLimits(d, "JPEG", cinfo->image_width, cinfo->image_height)) return false;
    if (cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK) {
        setMessage(d, "CMYK JPEG not supported (RGB or grey are read)");
        return false;
    }
    orientation = jpegOrientation(cinfo);
    cinfo->out_color_space = JCS_RGB;  // grey too: the library widens it
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 3 || cinfo->output_width != cinfo->image_width ||
        cinfo->output_height != cinfo->image_height) {
        setMessage(d, "JPEG layout not turned into 8-bit RGB");
        return false;
    }

    if (!allocatePixels(d, cinfo->output_width, cinfo->output_height)) return false;
    const size_t stride = static_cast<size_t>(cinfo->output_width) * 3;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = d.pixels + stride * cinfo->output_scanline;
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1) {
            setMessage(d, "damaged JPEG file: no more rows after %u", cinfo->output_scanline);
            return false;
        }
    }
    jpeg_finish_decompress(cinfo);  // reads up to the end marker; damage there stops too
    return true;
}

std::string finish(bool ok, Decoding& d, DecodedPicture& out) {
    if (!ok) {
        std::free(d.pixels);
        return d.message[0] != 0 ? d.message : "picture could not be decoded";
    }
    out.pixels.reset(d.pixels);
    out.width = d.width;
    out.height = d.height;
    return "";
}

}  // namespace

bool isPng(const uint8_t* bytes, size_t size) {
    return size >= sizeof kPngSignature &&
           std::memcmp(bytes, kPngSignature, sizeof kPngSignature) == 0;
}

bool isJpeg(const uint8_t* bytes, size_t size) {
    return size >= sizeof kJpegStartOfImage &&
           std::memcmp(bytes, kJpegStartOfImage, sizeof kJpegStartOfImage) == 0;
}

std::string decodePng(const uint8_t* bytes, size_t size, DecodedPicture& out) {
    Decoding d;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, pngError, pngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (info == nullptr) {
        setMessage(d, "out of memory");
    } else {
        PngSource source{bytes, size, 0};
        png_set_read_fn(png, &source, pngRead);
        // libpng's own size limit (a million a side) would speak before ours.
        png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
        ok = readPng(png, info, d);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    out.orientation = 1;
    return finish(ok, d, out);
}

std::string decodeJpeg(const uint8_t* bytes, size_t size, DecodedPicture& out) {
    Decoding d;
    jpeg_decompress_struct cinfo{};
    JpegErrors errors{};
    errors.decoding = &d;
    cinfo.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegStop;
    errors.manager.emit_message = jpegMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = jpegProgress;
    int orientation = 1;
    const bool ok = readJpeg(&cinfo, errors, &progress, bytes, size, orientation);
    jpeg_destroy_decompress(&cinfo);
    out.orientation = orientation;
    return finish(ok, d, out);
}

}  // namespace mw
