// panels.h -- the pictures and their textures, the morph buffers, and all drawing
// of pictures, panel frames, curves, points, tangents, crossings, text and slider.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace mw {

constexpr int kWorkWidth = 256;
constexpr int kWorkHeight = 293;
constexpr int kWorkRowBytes = kWorkWidth * 3;             // 768
constexpr int kWorkBytes = kWorkWidth * kWorkHeight * 3;  // 225,024

// A picture on the fixed grid: 3 bytes per pixel, rows bottom-up (row 0 is the
// bottom of the panel), pixel (x, y) at byte (y * 256 + x) * 3.
using WorkImage = std::array<uint8_t, kWorkBytes>;
// The same layout with one integer (0..255) per colour sample.
using WarpImage = std::array<int32_t, kWorkBytes>;

// Created at start-up and alive for the whole run; zero until written.
struct ImageBuffers {
    WorkImage leftImage{};
    WorkImage rightImage{};
    int leftWidth = 0, leftHeight = 0, leftChannels = 0;  // decoded size, then 256 x 293
    int rightWidth = 0, rightHeight = 0, rightChannels = 0;
    int leftFileWidth = 0, leftFileHeight = 0;  // the picture's own size, upright
    int rightFileWidth = 0, rightFileHeight = 0;
    GLuint leftTexture = 0;
    GLuint rightTexture = 0;
    GLuint morphTexture = 0;
    int morphWidth = 0, morphHeight = 0, morphChannels = 0;  // taken from the right picture
    WorkImage morphImage{};     // the middle panel's picture, bottom row first
    WarpImage morphWork{};      // row-pass result of the last warp
    WarpImage leftWarp{};       // last warp of the left picture
    WarpImage rightWarp{};      // last warp of the right picture
    WarpImage sampleScratch{};  // row reversal of loading and of frame export
    WorkImage frameImage{};     // the frame export writes: morphImage, top row first
};

extern ImageBuffers images;

// --- Picture loading and textures -------------------------------------------------

// Loads the right picture, creates the morph buffers and texture, loads the left
// picture. Returns false (with one line on stderr naming the path and the reason)
// when a picture cannot be used.
bool loadImages();
// kPositionLeft loads the left picture, kPositionRight the right one, kPositionMorph
// creates the morph texture (path ignored). Returns the texture name, or 0 on
// failure (message on stderr).
GLuint loadImageTexture(int position, const char* path);
void deleteTexture(GLuint texture);
// Resamples a decoded picture of width x height x 3 bytes (top row first, as
// stored) onto the grid, turned upright by its orientation, and turns it bottom row
// first; the decoder's own layout is kept for channels. Orientation is the EXIF
// value: 1 as stored, 2 mirrored, 3 upside down, 4 flipped, 5 transposed, 6 turned
// a quarter to the left (shown turned right), 7 transverse, 8 turned a quarter right.
void resamplePicture(const uint8_t* decoded, int width, int height, WorkImage& out,
                     int orientation = 1);
// The same onto a picture of outWidth x outHeight at `out` (3 bytes per pixel, rows
// bottom-up): the renderer's pictures at any size.
void resamplePictureTo(const uint8_t* decoded, int width, int height, int orientation,
                       uint8_t* out, int outWidth, int outHeight);
// Copies `from` into `to` with the row order reversed, through sampleScratch.
// `from` and `to` may be the same picture.
void reverseRows(const WorkImage& from, WorkImage& to);
void drawImageQuads();
// Reads a whole regular file of at most maxBytes into bytes. Returns an empty text,
// or the reason it cannot.
std::string readRegularFile(const char* path, long long maxBytes, std::vector<uint8_t>& bytes);
// The same for a picture file (at most kMaxPictureFileBytes).
std::string readPictureFile(const char* path, std::vector<uint8_t>& bytes);
// The loading path without GL: a BMP through the strict check and SOIL, a PNG or
// JPEG through its library (told apart by content), then conversion to RGB,
// turning upright, resampling and row reversal of a picture file's bytes into
// out. Returns an empty text, or the reason the picture is refused (out may then
// be partly written). When given, shownWidth and shownHeight receive the
// picture's own size, upright.
std::string decodePicture(const uint8_t* bytes, size_t size, WorkImage& out,
                          int* shownWidth = nullptr, int* shownHeight = nullptr);

// --- PNG and JPEG pictures ------------------------------------------------------------

// A decoded picture: 3 bytes per pixel (RGB), top row first, as stored.
struct DecodedPicture {
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], Free> pixels;
    int width = 0;
    int height = 0;
    int orientation = 1;  // how to turn it upright (see resamplePicture)
};
// The content tells the format: the PNG signature, the JPEG start-of-image marker.
bool isPng(const uint8_t* bytes, size_t size);
bool isJpeg(const uint8_t* bytes, size_t size);
// Decode into out. Return an empty text, or the reason the picture is refused:
// damaged data (the library's own words), a size beyond the limits below (checked
// before any pixel buffer exists), a CMYK JPEG. Any variant of bit depth, palette,
// grey, alpha and interlacing becomes 8-bit RGB; alpha is dropped. A JPEG's EXIF
// orientation is read into out.orientation.
std::string decodePng(const uint8_t* bytes, size_t size, DecodedPicture& out);
std::string decodeJpeg(const uint8_t* bytes, size_t size, DecodedPicture& out);
// A picture file's bytes at the file's own size, whatever its format: a BMP
// through the strict check and SOIL, a PNG or JPEG through its library. Returns an
// empty text, or the reason the picture is refused.
std::string decodeFullPicture(const uint8_t* bytes, size_t size, DecodedPicture& out);

// --- Strict check of picture files -------------------------------------------------

constexpr long long kMaxPictureSide = 16384;             // pixels, either way
constexpr long long kMaxPicturePixels = 64LL << 20;      // 67,108,864
constexpr long long kMaxPictureFileBytes = 512LL << 20;  // larger files are not read

// What the check found. Accepted when reason is empty; height counts rows whichever
// way up the file stores them. decoderBytes, when not empty, is an equivalent
// picture (same pixels, a header the decoder reads correctly) to decode instead.
struct BmpCheck {
    std::string reason;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> decoderBytes;
};
// Accepts only the BMP variants the decoder reads correctly: BM signature, one plane,
// a 40-, 108- or 124-byte header; 24- or 32-bit uncompressed pixels, 8-bit indices
// into a palette of 1..256 entries, or (108/124 bytes) 32-bit with the 8-bit RGB
// masks and no or 8-bit alpha; a size within the limits above; pixel data after the
// headers and wholly inside the file.
BmpCheck checkBmp(const uint8_t* bytes, size_t size);

// --- Scene drawing -----------------------------------------------------------------

// Colour codes b g k r w y; any other code keeps the current colour.
void drawControlPoint(char colour, float size, int x, int y);
void drawTangentLine(float x0, float y0, float x1, float y1);
void drawPanelFrames();
// Draws curve c and stores its default tangents and phantom points (see scene.cpp).
void drawCurve(int c, bool intermediate);
// Stores what drawCurve stores, drawing nothing and calling no GL: after it the
// curve's derived values are those of a display pass (the renderer, which has no
// window, and a net file just opened need them).
void deriveCurve(int c, bool intermediate);
// The yellow crossing overlay over morph.intersectionPoints.
void drawIntersections();

// --- Status text and slider --------------------------------------------------------

void drawText(float x, float y, float z, void* font, const char* text);
void drawStatusText();
void drawSlider();

}  // namespace mw
