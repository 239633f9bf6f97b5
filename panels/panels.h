// panels.h -- the pictures and their textures, the morph buffers, and all drawing
// of pictures, panel frames, curves, points, tangents, crossings, text and slider.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstdint>

namespace mw {

constexpr int kWorkWidth = 256;
constexpr int kWorkHeight = 293;
constexpr int kWorkRowBytes = kWorkWidth * 3;                // 768
constexpr int kWorkBytes = kWorkWidth * kWorkHeight * 3;     // 225,024

// A picture on the fixed grid: 3 bytes per pixel, rows bottom-up (row 0 is the
// bottom of the panel), pixel (x, y) at byte (y * 256 + x) * 3.
using WorkImage = std::array<uint8_t, kWorkBytes>;
// The same layout with one integer (0..255) per colour sample.
using WarpImage = std::array<int32_t, kWorkBytes>;

// Created at start-up and alive for the whole run; zero until written.
struct ImageBuffers {
    WorkImage leftImage{};
    WorkImage rightImage{};
    int leftWidth = 0, leftHeight = 0, leftChannels = 0;    // decoded size, then 256 x 293
    int rightWidth = 0, rightHeight = 0, rightChannels = 0;
    GLuint leftTexture = 0;
    GLuint rightTexture = 0;
    GLuint morphTexture = 0;
    int morphWidth = 0, morphHeight = 0, morphChannels = 0;  // taken from the right picture
    WorkImage morphImage{};    // the middle panel's picture, bottom row first
    WarpImage morphWork{};     // row-pass result of the last warp
    WarpImage leftWarp{};      // last warp of the left picture
    WarpImage rightWarp{};     // last warp of the right picture
    WarpImage sampleScratch{}; // row reversal of loading and of frame export
};

extern ImageBuffers images;

// --- Picture loading and textures -------------------------------------------------

// Loads the right picture, creates the morph buffers and texture, loads the left
// picture. Returns false (with one line on stderr naming the path and the reason)
// when a picture cannot be used.
bool loadImages();
// Position 1 loads the left picture, 2 the right one, 3 creates the morph texture
// (path ignored). Returns the texture name, or 0 on failure (message on stderr).
GLuint loadImageTexture(int position, const char* path);
void deleteTexture(GLuint texture);
// Resamples a decoded picture of width x height x 3 bytes (top row first) onto the
// grid and turns it bottom row first; the decoder's own layout is kept for channels.
void resamplePicture(const uint8_t* decoded, int width, int height, WorkImage& out);
// Reverses the row order of a work picture through sampleScratch.
void reverseRows(WorkImage& picture);
void drawImageQuads();

// --- Scene drawing -----------------------------------------------------------------

// Colour codes b g k r w y; any other code keeps the current colour.
void drawControlPoint(char colour, float size, int x, int y);
void drawTangentLine(float x0, float y0, float x1, float y1);
void drawPanelFrames();
// Draws curve c and stores its default tangents and phantom points (see scene.cpp).
void drawCurve(int c, bool intermediate);
// The yellow crossing overlay over morph.intersectionPoints.
void drawIntersections();

// --- Status text and slider --------------------------------------------------------

void drawText(float x, float y, float z, void* font, const char* text);
void drawStatusText();
void drawSlider();

}  // namespace mw
