// state.h -- the program state every room shares, and the fixed screen layout.
//
// One ProgramState lives for the whole run; only the event thread touches it.
// Its default member initialisers are the start-up values, which every unit test
// starts from (tests/support/fixtures.h).
#pragma once

#include <array>

namespace mw {

// Window and projection: GL coordinates run x 0..1250 rightwards and y 0..600
// upwards, one unit per pixel of the unscaled window.
constexpr float windowWidth = 1250.0f;
constexpr float windowHeight = 600.0f;

constexpr const char* kWindowTitle =
    "Image Morphing Using Catmull-Rom & Hermite Curves - 1250x600 - VELQ204T - Brannoch 480251739";

// A panel is an x range in GL pixels; all three share the y range 100..500.
struct PanelRange {
    int x1;
    int x2;
};
constexpr PanelRange leftPanel{50, 400};
constexpr PanelRange morphPanel{450, 800};
constexpr PanelRange rightPanel{850, 1200};
constexpr int kPanelBottom = 100;
constexpr int kPanelTop = 500;
constexpr int kPanelWidth = 350;   // GL pixels
constexpr int kPanelHeight = 400;  // GL pixels

constexpr int kMirrorOffset = 800;  // left panel to right panel
constexpr int kMorphOffset = 400;   // left panel to morph panel

// Slider: the handle's centre is at 350 + 550 * morphT.
constexpr int sliderLeft = 350;
constexpr int sliderRight = 900;
constexpr int sliderHandleSize = 15;  // drawn 15 / 2 = 7 pixels to each side
constexpr float sliderHitY = 37.0f;   // grab zone: 2 * 15 pixels around (hx, 37)

constexpr int kPickRadius = 8;     // strict: a point 8 pixels away is missed
constexpr int kDragRadius = 1000;  // while a point or tangent handle is held
constexpr double kAnimationStep = 0.01;

constexpr int kNoSlot = -1;

// Room for any path the system can open (PATH_MAX, the terminating zero included);
// a longer one is refused by name, never cut short.
constexpr int kPathBytes = 4096;

// Values of ProgramState::viewMode: which warps the middle panel shows.
constexpr int kViewLeft = 1;   // the left picture warped onto the intermediate net
constexpr int kViewRight = 2;  // the right picture warped onto it
constexpr int kViewBoth = 3;   // both warps blended by morphT

// Values of ProgramState::qualityLevel: how the warp fills a scan line.
constexpr int kQualityLinear = 1;   // straight pieces between crossings
constexpr int kQualitySimple = 2;   // a curve through the crossings, read by parameter
constexpr int kQualityPrecise = 3;  // a curve through the crossings, read by crossing number

// Picture sides of the warp.
constexpr int kSideLeft = 1;
constexpr int kSideRight = 2;

// Texture positions of the picture loader.
constexpr int kPositionLeft = 1;   // the left picture
constexpr int kPositionRight = 2;  // the right picture
constexpr int kPositionMorph = 3;  // the middle panel's texture, no file

struct ProgramState {
    bool showTangents = true;        // key T
    bool showPoints = true;          // key P
    bool showCurves = true;          // key C
    bool showIntermediate = false;   // key I; the intermediate bank is drawn only when set
    bool showIntersections = false;  // key X
    bool useBinarySearch = true;     // key B; false inverts segments by their cubic's roots
    int qualityLevel = kQualityLinear;  // key Q cycles the kQuality values
    int viewMode = kViewBoth;           // key S cycles the kView values
    float morphT = 0.5f;             // 0 is the left picture's net, 1 the right one's
    bool morphingStarted = false;    // key M sets it; nothing clears it
    bool animationRunning = false;   // key A toggles; the last animation step clears it
    int imageSequenceNumber = 0;     // incremented before use: the first sequence is 1
    bool exportFrames = true;        // a frame is written at each animation step
    // Drag state of the mouse handlers.
    int pickRadius = kPickRadius;  // kDragRadius from the second motion event of a held drag
    int selectedPoint = kNoSlot;   // slot of the held point
    int selectedTangent = kNoSlot; // slot of the point whose tangent handle is held
    int leftButtonDown = 0;        // 0/1
    int dragging = 0;              // 0/1
    std::array<char, kPathBytes> leftImagePath{};   // written once at start-up
    std::array<char, kPathBytes> rightImagePath{};  // written once at start-up
    std::array<char, 100> sequencePath{};  // directory and frame names of the animation
    // Where Ctrl+S saves the net: the net file opened at start-up, else the file the
    // first save of the run created; empty until then.
    std::array<char, kPathBytes> netPath{};
};

extern ProgramState state;

}  // namespace mw
