// make-pictures.cpp -- draws the two default pictures of the workstation.
//
// Two stylised faces with matching features at different places (face outline,
// hair, eyes, nose, mouth, shirt) and enough texture (stripes, checks, gradients)
// that a warp between them is easy to follow. Sizes are deliberately not the
// 256 x 293 work grid, and the rows need padding, so loading exercises both the
// resampling and the BMP row stride.
//
// Usage: make-pictures OUTDIR   (writes OUTDIR/imageLeft.bmp and OUTDIR/imageRight.bmp,
// and the same faces drawn at four times the size as OUTDIR/imageLeft-4x.png and
// OUTDIR/imageRight-4x.png, for the renderer's example at full resolution)
// Output is deterministic: the same bytes on every run.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb scale(Rgb a, double f) { return {a.r * f, a.g * f, a.b * f}; }

// Inside an axis-aligned ellipse centred at (cx, cy) with radii rx, ry.
double ellipse(double x, double y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy;
}
bool inEllipse(double x, double y, double cx, double cy, double rx, double ry) {
    return ellipse(x, y, cx, cy, rx, ry) <= 1.0;
}

// Everything that differs between the two faces. Coordinates in picture pixels,
// y downwards from the top row.
struct Face {
    int width, height;
    // background: stripes of two colours along the direction (dirX, dirY)
    Rgb stripeA, stripeB, backgroundShade;
    double stripePeriod, stripeDirX, stripeDirY;
    // hair: an ellipse behind the face, plus spikes when spikeCount > 0
    Rgb hair;
    double hairCx, hairCy, hairRx, hairRy;
    int spikeCount;
    double spikeHeight;
    // face
    Rgb skin, skinShadow;
    double faceCx, faceCy, faceRx, faceRy;
    double earDy, earRx, earRy;
    // eyes
    double eyeLeftX, eyeRightX, eyeY, eyeRx, eyeRy, irisR, pupilR;
    Rgb iris;
    double browLift, browThickness;
    Rgb brow;
    // nose: a darker ellipse and two nostrils
    double noseY, noseRx, noseRy;
    // mouth: the part of an ellipse below a second, higher ellipse (a smile)
    double mouthY, mouthRx, mouthRy, mouthCurve;
    Rgb lips;
    Rgb blush;
    // shirt: a wide ellipse at the bottom with a pattern
    double shirtTop, shirtRx;
    Rgb shirtA, shirtB;
    bool shirtChecks;  // checks, else horizontal stripes
    double shirtPeriod;
};

Rgb background(const Face& f, double x, double y) {
    const double along = (x * f.stripeDirX + y * f.stripeDirY) / f.stripePeriod;
    const double phase = along - std::floor(along);
    Rgb c = phase < 0.5 ? f.stripeA : f.stripeB;
    // a soft radial light behind the head
    const double d = std::sqrt(ellipse(x, y, f.faceCx, f.faceCy, f.width * 0.9, f.height * 0.9));
    return mix(c, f.backgroundShade, d * 0.6);
}

bool inHair(const Face& f, double x, double y) {
    if (inEllipse(x, y, f.hairCx, f.hairCy, f.hairRx, f.hairRy)) return true;
    if (f.spikeCount <= 0) return false;
    // triangular spikes standing on the top of the hair ellipse
    const double left = f.hairCx - f.hairRx * 0.85, right = f.hairCx + f.hairRx * 0.85;
    if (x < left || x > right) return false;
    const double w = (right - left) / f.spikeCount;
    const double k = (x - left) / w;
    const double tri = 1.0 - std::fabs((k - std::floor(k)) * 2.0 - 1.0);  // 0..1..0
    const double base = f.hairCy - f.hairRy * 0.55;
    return y >= base - tri * f.spikeHeight && y <= base + 1.0;
}

Rgb shade(const Face& f, double x, double y) {
    Rgb c = background(f, x, y);

    // shirt and neck
    if (y > f.shirtTop && inEllipse(x, y, f.faceCx, f.height + 40.0, f.shirtRx, f.height - f.shirtTop + 40.0)) {
        bool first;
        if (f.shirtChecks) {
            const int i = static_cast<int>(std::floor(x / f.shirtPeriod));
            const int j = static_cast<int>(std::floor(y / f.shirtPeriod));
            first = ((i + j) & 1) == 0;
        } else {
            first = static_cast<int>(std::floor(y / f.shirtPeriod)) % 2 == 0;
        }
        c = first ? f.shirtA : f.shirtB;
        const double collar = std::fabs(x - f.faceCx) / (f.shirtRx * 0.35) + (y - f.shirtTop) / 30.0;
        if (collar < 1.0) c = f.skinShadow;  // the open collar
    }
    const double neckTop = f.faceCy + f.faceRy * 0.6;
    if (y > neckTop && y < f.shirtTop + 12.0 && std::fabs(x - f.faceCx) < f.faceRx * 0.42) c = f.skinShadow;

    if (inHair(f, x, y)) c = mix(f.hair, scale(f.hair, 0.7), (y - (f.hairCy - f.hairRy)) / (2.0 * f.hairRy));

    // ears, then the face with light from the upper left
    for (double side : {-1.0, 1.0}) {
        const double ex = f.faceCx + side * f.faceRx;
        if (inEllipse(x, y, ex, f.faceCy + f.earDy, f.earRx, f.earRy)) c = f.skinShadow;
    }
    const double inFace = ellipse(x, y, f.faceCx, f.faceCy, f.faceRx, f.faceRy);
    if (inFace > 1.0) return c;
    const double light = ellipse(x, y, f.faceCx - f.faceRx * 0.3, f.faceCy - f.faceRy * 0.35, f.faceRx * 1.6,
                                 f.faceRy * 1.6);
    c = mix(f.skin, f.skinShadow, light);

    // fringe of hair over the forehead
    if (y < f.faceCy - f.faceRy * 0.62 && inHair(f, x, y)) c = f.hair;

    // cheeks
    for (double side : {-1.0, 1.0}) {
        const double cx = f.faceCx + side * f.faceRx * 0.55;
        const double d = ellipse(x, y, cx, f.mouthY - f.mouthRy * 1.6, f.faceRx * 0.22, f.faceRy * 0.12);
        if (d < 1.0) c = mix(f.blush, c, d);
    }

    // eyes with brows
    for (double ex : {f.eyeLeftX, f.eyeRightX}) {
        const double browY = f.eyeY - f.eyeRy - f.browLift;
        if (std::fabs(x - ex) < f.eyeRx * 1.1 &&
            std::fabs(y - (browY + std::pow((x - ex) / f.eyeRx, 2.0) * 5.0)) < f.browThickness)
            c = f.brow;
        if (inEllipse(x, y, ex, f.eyeY, f.eyeRx, f.eyeRy)) {
            c = {250, 250, 245};
            const double d = std::hypot(x - ex, y - f.eyeY);
            if (d < f.irisR) c = mix(f.iris, scale(f.iris, 0.55), d / f.irisR);
            if (d < f.pupilR) c = {15, 15, 20};
            if (std::hypot(x - (ex - f.pupilR * 0.8), y - (f.eyeY - f.pupilR * 0.8)) < f.pupilR * 0.45)
                c = {255, 255, 255};
        }
    }

    // nose
    const double nose = ellipse(x, y, f.faceCx, f.noseY, f.noseRx, f.noseRy);
    if (nose < 1.0) c = mix(scale(f.skinShadow, 0.92), c, nose);
    for (double side : {-1.0, 1.0})
        if (inEllipse(x, y, f.faceCx + side * f.noseRx * 0.5, f.noseY + f.noseRy * 0.55, f.noseRx * 0.22,
                      f.noseRy * 0.18))
            c = scale(f.skinShadow, 0.6);

    // mouth: the lower part of one ellipse below a higher one
    if (inEllipse(x, y, f.faceCx, f.mouthY, f.mouthRx, f.mouthRy) &&
        !inEllipse(x, y, f.faceCx, f.mouthY - f.mouthCurve, f.mouthRx * 1.05, f.mouthRy)) {
        c = f.lips;
        if (std::fabs(y - (f.mouthY + f.mouthRy * 0.15)) < 1.2) c = scale(f.lips, 0.5);
    }
    return c;
}

// Renders with 4 x 4 samples per pixel at `zoom` times the face's size; rows top
// first, RGB.
std::vector<uint8_t> render(const Face& f, int zoom = 1) {
    const int width = f.width * zoom, height = f.height * zoom;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    constexpr int kSamples = 4;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const Rgb s = shade(f, (x + (sx + 0.5) / kSamples) / zoom,
                                        (y + (sy + 0.5) / kSamples) / zoom);
                    sum = {sum.r + s.r, sum.g + s.g, sum.b + s.b};
                }
            }
            const size_t at = (static_cast<size_t>(y) * width + x) * 3;
            const double n = kSamples * kSamples;
            rgb[at + 0] = static_cast<uint8_t>(std::clamp(std::lround(sum.r / n), 0L, 255L));
            rgb[at + 1] = static_cast<uint8_t>(std::clamp(std::lround(sum.g / n), 0L, 255L));
            rgb[at + 2] = static_cast<uint8_t>(std::clamp(std::lround(sum.b / n), 0L, 255L));
        }
    }
    return rgb;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// An uncompressed 24-bit BMP: 14-byte file header, 40-byte info header, rows bottom
// row first, each row blue-green-red and padded to a multiple of 4 bytes.
bool writeBmp(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t pixelBytes = stride * static_cast<uint32_t>(height);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, 54 + pixelBytes);  // file size
    put32(out, 0);                // reserved
    put32(out, 54);               // pixel data offset
    put32(out, 40);               // info header size
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));  // positive: bottom row first
    put16(out, 1);                              // planes
    put16(out, 24);                             // bits per pixel
    put32(out, 0);                              // no compression
    put32(out, pixelBytes);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, 0);  // colours in palette
    put32(out, 0);  // important colours
    for (int y = height - 1; y >= 0; --y) {
        const uint8_t* row = &rgb[static_cast<size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            out.push_back(row[x * 3 + 2]);
            out.push_back(row[x * 3 + 1]);
            out.push_back(row[x * 3 + 0]);
        }
        for (uint32_t pad = static_cast<uint32_t>(width) * 3; pad < stride; ++pad) out.push_back(0);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "%s: write failed\n", path.c_str());
        return false;
    }
    return true;
}

// A PNG of the picture (8-bit RGB), compressed as far as zlib goes.
bool writePng(const std::string& path, int width, int height, const std::vector<uint8_t>& rgb) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(&rgb[static_cast<size_t>(y) * width * 3]);
    bool ok = info != nullptr && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, 9);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "%s: write failed\n", path.c_str());
        return false;
    }
    return true;
}

// A round face with dark hair, blue eyes, a smile and a red-and-white checked
// shirt in front of cool vertical stripes.
Face leftFace() {
    Face f{};
    f.width = 322;
    f.height = 360;
    f.stripeA = {120, 180, 235};
    f.stripeB = {175, 215, 250};
    f.backgroundShade = {40, 70, 140};
    f.stripePeriod = 24;
    f.stripeDirX = 1;
    f.stripeDirY = 0;
    f.hair = {95, 55, 30};
    f.hairCx = 161;
    f.hairCy = 150;
    f.hairRx = 122;
    f.hairRy = 128;
    f.spikeCount = 0;
    f.skin = {250, 215, 175};
    f.skinShadow = {205, 150, 115};
    f.faceCx = 161;
    f.faceCy = 178;
    f.faceRx = 98;
    f.faceRy = 108;
    f.earDy = 0;
    f.earRx = 16;
    f.earRy = 26;
    f.eyeLeftX = 122;
    f.eyeRightX = 200;
    f.eyeY = 160;
    f.eyeRx = 22;
    f.eyeRy = 13;
    f.irisR = 11;
    f.pupilR = 4.5;
    f.iris = {50, 105, 215};
    f.browLift = 10;
    f.browThickness = 3;
    f.brow = {80, 45, 25};
    f.noseY = 200;
    f.noseRx = 14;
    f.noseRy = 18;
    f.mouthY = 232;
    f.mouthRx = 40;
    f.mouthRy = 18;
    f.mouthCurve = 10;
    f.lips = {205, 40, 60};
    f.blush = {250, 150, 150};
    f.shirtTop = 290;
    f.shirtRx = 170;
    f.shirtA = {215, 35, 45};
    f.shirtB = {250, 245, 240};
    f.shirtChecks = true;
    f.shirtPeriod = 16;
    return f;
}

// A long face with spiky yellow hair, green eyes set high and close, a wide flat
// mouth and a blue-and-yellow striped shirt in front of warm diagonal stripes.
Face rightFace() {
    Face f{};
    f.width = 298;
    f.height = 340;
    f.stripeA = {245, 150, 60};
    f.stripeB = {250, 205, 110};
    f.backgroundShade = {150, 40, 90};
    f.stripePeriod = 30;
    f.stripeDirX = 0.7071;
    f.stripeDirY = 0.7071;
    f.hair = {240, 200, 50};
    f.hairCx = 149;
    f.hairCy = 110;
    f.hairRx = 88;
    f.hairRy = 80;
    f.spikeCount = 6;
    f.spikeHeight = 42;
    f.skin = {200, 150, 105};
    f.skinShadow = {140, 95, 65};
    f.faceCx = 149;
    f.faceCy = 170;
    f.faceRx = 76;
    f.faceRy = 122;
    f.earDy = -10;
    f.earRx = 12;
    f.earRy = 30;
    f.eyeLeftX = 120;
    f.eyeRightX = 178;
    f.eyeY = 135;
    f.eyeRx = 19;
    f.eyeRy = 15;
    f.irisR = 12;
    f.pupilR = 5;
    f.iris = {40, 160, 70};
    f.browLift = 6;
    f.browThickness = 4;
    f.brow = {150, 110, 20};
    f.noseY = 185;
    f.noseRx = 11;
    f.noseRy = 28;
    f.mouthY = 245;
    f.mouthRx = 46;
    f.mouthRy = 15;
    f.mouthCurve = 8;
    f.lips = {150, 30, 70};
    f.blush = {215, 120, 100};
    f.shirtTop = 292;
    f.shirtRx = 150;
    f.shirtA = {40, 70, 190};
    f.shirtB = {250, 220, 60};
    f.shirtChecks = false;
    f.shirtPeriod = 10;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const Face left = leftFace(), right = rightFace();
    if (!writeBmp(dir + "/imageLeft.bmp", left.width, left.height, render(left))) return 1;
    if (!writeBmp(dir + "/imageRight.bmp", right.width, right.height, render(right))) return 1;
    constexpr int kLarge = 4;
    if (!writePng(dir + "/imageLeft-4x.png", left.width * kLarge, left.height * kLarge,
                  render(left, kLarge)))
        return 1;
    if (!writePng(dir + "/imageRight-4x.png", right.width * kLarge, right.height * kLarge,
                  render(right, kLarge)))
        return 1;
    return 0;
}
