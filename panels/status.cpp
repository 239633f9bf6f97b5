// status.cpp -- the instructions and status lines drawn as bitmap text, and the
// slider that shows morphT. Both are redrawn from the program state in every
// display pass and change nothing.
#include <GL/freeglut.h>

#include <cstdio>

#include "app/state.h"
#include "panels/panels.h"

namespace mw {

namespace {

constexpr int kStatusTextSize = 160;     // the longest line has 141 characters
constexpr int kAlgorithmTextSize = 64;   // the longer phrase has 51
constexpr int kSliderLabelSize = 64;     // "%f" of a float may run to 47 characters

void drawLine(float x, float y, const char* text) { drawText(x, y, 0, GLUT_BITMAP_9_BY_15, text); }

const char* flagText(bool on) { return on ? "True" : "False"; }

// The quality line with the algorithm phrase in place of its %s.
void formatQualityLine(char* out, int size, int level, const char* phrase) {
    switch (level) {
        case kQualityLinear:
            std::snprintf(out, size, "Quality (hotkey q): 1 - Linear Pixel Translation (fast) %s",
                          phrase);
            break;
        case kQualitySimple:
            std::snprintf(out, size,
                          "Quality (hotkey q): 2 - Simple Curvilinear Pixel Translation (slow) %s",
                          phrase);
            break;
        default:
            std::snprintf(out, size,
                          "Quality (hotkey q): 3 - Precise Curvilinear Pixel-to-Curve Plot "
                          "Interpolation (very slow) %s",
                          phrase);
            break;
    }
}

const char* viewText(int mode) {
    switch (mode) {
        case kViewLeft: return "Showing left image morph (hotkey s)";
        case kViewRight: return "Showing right image morph (hotkey s)";
        default: return "Showing both image morphs (hotkey s)";
    }
}

void drawInstructions() {
    drawLine(5, 585,
             "Please read the following instructions: (Left-click to draw points. Right-click "
             "after drawing each curve to draw a new one.)");
    drawLine(5, 565,
             "Step 1: Draw VERTICAL curves on the LEFT image: Draw the curves DOWNWARDS but "
             "start with the LEFT-MOST curve then to the right.");
    drawLine(5, 545,
             "Step 2: Draw HORIZONTAL curves on the LEFT image: Draw the curves from LEFT to "
             "RIGHT but start with the BOTTOM-MOST curve then up.");
    drawLine(5, 525,
             "Step 3: Manipulate all points and tangents on BOTH images to desired shapes.");
    drawLine(5, 505,
             "Step 4: Press 'M' to start morphing then move the slider handle or Press 'A' to "
             "play an animation.");
}

}  // namespace

void drawText(float x, float y, float z, void* font, const char* text) {
    glColor3f(1, 1, 1);
    glRasterPos3f(x, y, z);
    if (text == nullptr) return;
    for (const char* c = text; *c != '\0'; ++c) glutBitmapCharacter(font, *c);
}

// Called first in the display pass, right after the colour buffer is cleared.
// Lines past the window's right edge are simply cut off.
void drawStatusText() {
    char statusText[kStatusTextSize];
    char algorithmText[kAlgorithmTextSize];
    const bool started = state.morphingStarted;

    if (!started) drawInstructions();

    std::snprintf(statusText, sizeof statusText, "Show Curves (hotkey c): %s",
                  flagText(state.showCurves));
    drawLine(5, 85, statusText);
    std::snprintf(statusText, sizeof statusText, "Show Points (hotkey p): %s",
                  flagText(state.showPoints));
    drawLine(5, 65, statusText);
    std::snprintf(statusText, sizeof statusText, "Show Tangents (hotkey t): %s",
                  flagText(state.showTangents));
    drawLine(5, 45, statusText);

    if (started) {
        std::snprintf(statusText, sizeof statusText, "Show Intermediate Curves (hotkey i): %s",
                      flagText(state.showIntermediate));
        drawLine(5, 25, statusText);

        std::snprintf(algorithmText, sizeof algorithmText, "%s",
                      state.useBinarySearch
                          ? "Using Binary Search Algorithm (faster) (hotkey b)"
                          : "Using Quadratic Roots Algorithm (slower) (hotkey b)");
        formatQualityLine(statusText, sizeof statusText, state.qualityLevel, algorithmText);
        drawLine(5, 5, statusText);

        std::snprintf(statusText, sizeof statusText, "%s", viewText(state.viewMode));
        drawLine(920, 45, statusText);

        std::snprintf(statusText, sizeof statusText, "%s",
                      state.animationRunning ? "Press A to stop animation."
                                             : "Press A to start animation.");
        drawLine(550, 25, statusText);
    } else {
        drawLine(550, 45, "Press M to start morphing.");
    }

    if (started) {
        std::snprintf(statusText, sizeof statusText, "Show Intersections (hotkey x): %s",
                      flagText(state.showIntersections));
        drawLine(920, 25, statusText);
    }
}

// Called by the display pass only while morphing. The polygon mode is GL_LINE
// after the image quads, so track and handle are outlines. The track reaches one
// handle size beyond both ends of the handle's range.
void drawSlider() {
    constexpr float trackLeft = sliderLeft - sliderHandleSize;    // 335
    constexpr float trackRight = sliderRight + sliderHandleSize;  // 915
    glColor3f(1, 1, 1);
    glBegin(GL_QUADS);
    glVertex2f(trackLeft, 70);
    glVertex2f(trackLeft, 45);
    glVertex2f(trackRight, 45);
    glVertex2f(trackRight, 70);
    glEnd();

    const float h = (sliderRight - sliderLeft) * state.morphT + sliderLeft;
    constexpr int w = sliderHandleSize / 2;
    glBegin(GL_QUADS);
    glVertex2f(h - w, 65);
    glVertex2f(h - w, 50);
    glVertex2f(h + w, 50);
    glVertex2f(h + w, 65);
    glEnd();

    char label[kSliderLabelSize];
    std::snprintf(label, sizeof label, "%f", static_cast<double>(state.morphT));
    drawText(h - w, 75, 0, GLUT_BITMAP_9_BY_15, label);
}

}  // namespace mw
