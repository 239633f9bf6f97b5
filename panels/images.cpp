// images.cpp -- the two pictures, their textures and the morph buffers: loading once
// at start-up, and drawing the picture quads in every display pass.
#include <GL/gl.h>
#include <SOIL/SOIL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/state.h"
#include "panels/panels.h"

namespace mw {

ImageBuffers images;

namespace {

// Called right after a texture is created and bound. The environment mode belongs
// to the texture unit and is simply set again each time.
void setTextureState() {
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
}

GLuint newBoundTexture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    return name;
}

// Drops the fourth byte of every pixel, in place: RGBA becomes RGB.
void dropAlpha(unsigned char* pixels, long long pixelCount) {
    for (long long k = 0; k < pixelCount; ++k) {
        pixels[k * 3] = pixels[k * 4];
        pixels[k * 3 + 1] = pixels[k * 4 + 1];
        pixels[k * 3 + 2] = pixels[k * 4 + 2];
    }
}

// Draws one picture quad over the panel's x range, y 100..500; texture coordinate
// (0, 0) is the picture's bottom-left corner because its bottom row comes first.
void drawQuad(GLuint texture, PanelRange panel) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glBegin(GL_QUADS);
    glTexCoord2d(0, 0);
    glVertex2d(panel.x1, kPanelBottom);
    glTexCoord2d(1, 0);
    glVertex2d(panel.x2, kPanelBottom);
    glTexCoord2d(1, 1);
    glVertex2d(panel.x2, kPanelTop);
    glTexCoord2d(0, 1);
    glVertex2d(panel.x1, kPanelTop);
    glEnd();
}

// The left or right picture at path onto its grid, then its texture. Returns 0 after
// one line on stderr when the picture cannot be used.
GLuint loadPicture(int position, const char* path) {
    const bool left = position == kPositionLeft;
    WorkImage& picture = left ? images.leftImage : images.rightImage;
    int& fileWidth = left ? images.leftFileWidth : images.rightFileWidth;
    int& fileHeight = left ? images.leftFileHeight : images.rightFileHeight;
    std::string reason;
    try {
        std::vector<uint8_t> bytes;
        reason = readPictureFile(path, bytes);
        if (reason.empty())
            reason = decodePicture(bytes.data(), bytes.size(), picture, &fileWidth, &fileHeight);
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (!reason.empty()) {
        std::fprintf(stderr, "cannot load picture %s: %s\n", path, reason.c_str());
        return 0;
    }
    // Every picture reaches the grid as RGB, whatever the file stored.
    (left ? images.leftWidth : images.rightWidth) = kWorkWidth;
    (left ? images.leftHeight : images.rightHeight) = kWorkHeight;
    (left ? images.leftChannels : images.rightChannels) = 3;

    const GLuint name = newBoundTexture();
    setTextureState();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kWorkWidth, kWorkHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 picture.data());
    return name;
}

// The morph texture: the morph buffers take the right picture's size and channel count,
// so the right picture is loaded first. The buffers themselves are fixed arrays;
// the texture gets its first image from the first composition.
GLuint createMorphTexture() {
    images.morphWidth = images.rightWidth;
    images.morphHeight = images.rightHeight;
    images.morphChannels = images.rightChannels;
    const GLuint name = newBoundTexture();
    setTextureState();
    return name;
}

}  // namespace

std::string readPictureFile(const char* path, std::vector<uint8_t>& bytes) {
    return readRegularFile(path, kMaxPictureFileBytes, bytes);
}

std::string decodeFullPicture(const uint8_t* bytes, size_t size, DecodedPicture& out) {
    if (isPng(bytes, size)) return decodePng(bytes, size, out);
    if (isJpeg(bytes, size)) return decodeJpeg(bytes, size, out);
    const bool bmp = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if (size > 0 && !bmp) return "not a BMP, PNG or JPEG file";

    const BmpCheck check = checkBmp(bytes, size);
    if (!check.reason.empty()) return check.reason;
    const bool equivalent = !check.decoderBytes.empty();
    const uint8_t* decoderBytes = equivalent ? check.decoderBytes.data() : bytes;
    const size_t decoderSize = equivalent ? check.decoderBytes.size() : size;

    int width = 0, height = 0, channels = 0;
    // SOIL's pixels are released with free(), as DecodedPicture releases its own.
    uint8_t* pixels = SOIL_load_image_from_memory(decoderBytes, static_cast<int>(decoderSize),
                                                  &width, &height, &channels, SOIL_LOAD_AUTO);
    if (pixels == nullptr) return std::string("decoder refused the picture: ") + SOIL_last_result();
    out.pixels.reset(pixels);
    if (width != check.width || height != check.height)
        return "decoder reported a size other than the header's";
    if (channels != 3 && channels != 4) return "decoder reported an unexpected channel count";
    if (channels == 4) dropAlpha(pixels, static_cast<long long>(width) * height);
    out.width = width;
    out.height = height;
    out.orientation = 1;
    return "";
}

std::string decodePicture(const uint8_t* bytes, size_t size, WorkImage& out, int* shownWidth,
                          int* shownHeight) {
    DecodedPicture picture;
    const std::string reason = decodeFullPicture(bytes, size, picture);
    if (!reason.empty()) return reason;
    resamplePicture(picture.pixels.get(), picture.width, picture.height, out, picture.orientation);
    // The upright size: a picture turned a quarter shows its height across.
    const bool transposed = picture.orientation >= 5 && picture.orientation <= 8;
    if (shownWidth) *shownWidth = transposed ? picture.height : picture.width;
    if (shownHeight) *shownHeight = transposed ? picture.width : picture.height;
    return "";
}

// Nearest-neighbour sampling by division by the step, truncated: output column j
// reads column trunc(j / (outWidth / width)) of the upright picture, never a
// multiplication by the inverse (which picks another pixel now and then). Turning
// the picture upright only changes where that pixel is stored. The output's rows
// are bottom-up: its first row is the upright picture's last.
void resamplePictureTo(const uint8_t* decoded, int width, int height, int orientation,
                       uint8_t* out, int outWidth, int outHeight) {
    const bool transposed = orientation >= 5 && orientation <= 8;
    const long long shownWidth = transposed ? height : width;
    const long long shownHeight = transposed ? width : height;
    const double sx = static_cast<double>(outWidth) / static_cast<double>(shownWidth);
    const double sy = static_cast<double>(outHeight) / static_cast<double>(shownHeight);
    // Stored pixel of upright row r, column c, per orientation.
    auto stored = [&](long long r, long long c) -> long long {
        const long long lastRow = height - 1, lastColumn = width - 1;
        switch (orientation) {
            case 2:
                return r * width + (lastColumn - c);
            case 3:
                return (lastRow - r) * width + (lastColumn - c);
            case 4:
                return (lastRow - r) * width + c;
            case 5:
                return c * width + r;
            case 6:
                return (lastRow - c) * width + r;
            case 7:
                return (lastRow - c) * width + (lastColumn - r);
            case 8:
                return c * width + (lastColumn - r);
            default:
                return r * width + c;
        }
    };
    std::vector<long long> column(outWidth);  // the same for every row
    for (int j = 0; j < outWidth; ++j) column[j] = static_cast<long long>(j / sx);
    for (int i = 0; i < outHeight; ++i) {
        const long long r = static_cast<long long>(i / sy);
        uint8_t* row = out + static_cast<size_t>(outHeight - 1 - i) * outWidth * 3;
        for (int j = 0; j < outWidth; ++j) {
            const uint8_t* pixel = decoded + stored(r, column[j]) * 3;
            row[j * 3] = pixel[0];
            row[j * 3 + 1] = pixel[1];
            row[j * 3 + 2] = pixel[2];
        }
    }
}

void resamplePicture(const uint8_t* decoded, int width, int height, WorkImage& out,
                     int orientation) {
    resamplePictureTo(decoded, width, height, orientation, out.data(), kWorkWidth, kWorkHeight);
}

// Widens every byte to an integer of sampleScratch (element k holds byte k), swaps
// integer rows k and 292 - k for k = 0..145 (the middle row 146 stays), and stores
// the low 8 bits into `to`. Nothing is written to `to` before all of `from` is read.
void reverseRows(const WorkImage& from, WorkImage& to) {
    WarpImage& scratch = images.sampleScratch;
    for (int k = 0; k < kWorkBytes; ++k) scratch[k] = from[k];
    constexpr int kSwappedRows = kWorkHeight / 2;  // 146
    for (int k = 0; k < kSwappedRows; ++k) {
        int32_t* low = &scratch[k * kWorkRowBytes];
        int32_t* high = &scratch[(kWorkHeight - 1 - k) * kWorkRowBytes];
        std::swap_ranges(low, low + kWorkRowBytes, high);
    }
    for (int k = 0; k < kWorkBytes; ++k) to[k] = static_cast<uint8_t>(scratch[k] & 0xFF);
}

bool loadImages() {
    images.rightTexture = loadImageTexture(kPositionRight, state.rightImagePath.data());
    if (images.rightTexture == 0) return false;
    images.morphTexture = loadImageTexture(kPositionMorph, "");
    images.leftTexture = loadImageTexture(kPositionLeft, state.leftImagePath.data());
    return images.leftTexture != 0;
}

GLuint loadImageTexture(int position, const char* path) {
    if (position == kPositionMorph) return createMorphTexture();
    return loadPicture(position, path);
}

void deleteTexture(GLuint texture) {
    glDeleteTextures(1, &texture);
}

// Leaves the polygon mode at GL_LINE: the panel frames and the slider drawn later in
// the pass are outlines.
void drawImageQuads() {
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    drawQuad(images.leftTexture, leftPanel);
    drawQuad(images.rightTexture, rightPanel);
    if (state.morphingStarted) drawQuad(images.morphTexture, morphPanel);
    glDisable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
}

}  // namespace mw
