// picture_files.h -- PNG and JPEG files made in memory by libpng and libjpeg, as
// everyday programs write them, for the tests and benchmarks of picture loading.
#pragma once

#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <png.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace testpictures {

// A PNG from rows of samples (top row first) in the layout that colourType and
// depth give: 16-bit samples big-endian, sub-byte samples packed. A palette is
// RGB triples; transparency, when given, goes into a tRNS chunk.
struct PngLayout {
    int width = 0;
    int height = 0;
    int colourType = PNG_COLOR_TYPE_RGB;
    int depth = 8;
    bool interlaced = false;
    std::vector<uint8_t> palette;       // palette pictures only
    std::vector<uint8_t> transparency;  // tRNS: alpha per palette entry
};

inline std::vector<uint8_t> writePng(const PngLayout& layout, std::vector<uint8_t> samples) {
    std::vector<uint8_t> file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) std::abort();  // our own layouts are always sound
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, size_t length) {
            auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + length);
        },
        nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.depth, layout.colourType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t k = 0; k + 2 < layout.palette.size(); k += 3)
        palette.push_back({layout.palette[k], layout.palette[k + 1], layout.palette[k + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!layout.transparency.empty())
        png_set_tRNS(png, info, layout.transparency.data(),
                     static_cast<int>(layout.transparency.size()), nullptr);
    png_write_info(png, info);
    const size_t stride = samples.size() / layout.height;
    std::vector<png_bytep> rows;
    for (int y = 0; y < layout.height; ++y) rows.push_back(samples.data() + stride * y);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file;
}

// The EXIF data of an APP1 segment holding only an orientation (1..8), little-endian.
inline std::vector<uint8_t> exifWithOrientation(int orientation) {
    return {'E',
            'x',
            'i',
            'f',
            0,
            0,
            'I',
            'I',
            42,
            0,
            8,
            0,
            0,
            0,  // TIFF header, first directory at 8
            1,
            0,  // one entry
            0x12,
            0x01,
            3,
            0,
            1,
            0,
            0,
            0,  // orientation, SHORT, one value
            static_cast<uint8_t>(orientation),
            0,
            0,
            0,
            0,
            0,
            0,
            0};  // no next directory
}

struct JpegLayout {
    int quality = 95;
    bool progressive = false;
    bool grey = false;       // one component; samples are then one byte a pixel
    bool cmyk = false;       // four components, four bytes a pixel
    bool subsampled = true;  // chroma at half resolution both ways, as cameras store it
    int orientation = 0;     // 1..8 writes an EXIF orientation; 0 none
    bool manyScans = false;  // grey, progressive in 127 scans: each coefficient alone, twice
};

// A JPEG of width x height pixels from samples (RGB, or grey, top row first).
inline std::vector<uint8_t> writeJpeg(int width, int height, const std::vector<uint8_t>& samples,
                                      const JpegLayout& layout) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = layout.grey ? 1 : layout.cmyk ? 4 : 3;
    cinfo.in_color_space = layout.grey ? JCS_GRAYSCALE : layout.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, layout.quality, TRUE);
    if (layout.grey || !layout.subsampled) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    if (layout.progressive) jpeg_simple_progression(&cinfo);
    std::vector<jpeg_scan_info> scans;
    if (layout.manyScans) {
        scans.push_back({1, {0}, 0, 0, 0, 0});  // DC
        for (int k = 1; k < 64; ++k) {
            scans.push_back({1, {0}, k, k, 0, 1});  // coefficient k, all but its low bit
            scans.push_back({1, {0}, k, k, 1, 0});  // and then its low bit
        }
        cinfo.scan_info = scans.data();
        cinfo.num_scans = static_cast<int>(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (layout.orientation != 0) {
        const std::vector<uint8_t> exif = exifWithOrientation(layout.orientation);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    const size_t stride = static_cast<size_t>(width) * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(samples.data()) + stride * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> file(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return file;
}

}  // namespace testpictures
