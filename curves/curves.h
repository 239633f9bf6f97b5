// curves.h -- the curve store (left, right and intermediate banks), the mouse
// gestures that build and shape the curves and move the slider, the history of
// edits that undo and redo walk, and the net files that keep both nets.
//
// Curves are addressed by number, points by slot: point j of curve c lies at
// slot 1000*c + 2 + 2*j (x at the slot, y after it). The slot pair before the
// first point and the pair after the last hold phantom end points.
// With n = curveCount / 2: curves 0..n-1 are the left bank, n..2n-1 the right
// bank, 2n..3n-1 the intermediate bank; in each bank the first n / 2 curves are
// vertical and the rest horizontal.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace mw {

constexpr int kCurveSlots = 1000;   // slots owned by one curve
constexpr int kCurveNumbers = 100;  // entries of pointCount
// Entries of each slot array: room for twice the curves pointCount can count.
constexpr int kSlotCount = 2 * kCurveNumbers * kCurveSlots;
constexpr int kMaxPointsPerCurve = 498;  // keeps a curve and its phantoms in its slots
constexpr int kMaxCurvesPerBank = 33;    // three banks share the 100 counts

struct CurveStore {
    int curveCount = 2;   // curves of the left and right banks together; always even
    int curveCursor = 1;  // current left curve is curveCursor / 2, its mirror curveCursor
    std::array<int32_t, kCurveNumbers> pointCount{};
    std::array<float, kSlotCount> controlPoints{};  // GL pixels
    std::array<float, kSlotCount> tangents{};       // GL pixels, at the point's slot
    std::array<uint8_t, kSlotCount> tangentSet{};   // 1 when the user set the tangent
};

extern CurveStore store;

constexpr int slotOf(int c, int j) { return kCurveSlots * c + 2 + 2 * j; }

// The y of the trailing phantom pair of a full curve is the last slot a curve uses:
// it stays within the curve's own slots, and every countable curve's slots fit.
static_assert(slotOf(0, kMaxPointsPerCurve) + 1 < kCurveSlots);
static_assert(slotOf(kCurveNumbers - 1, kMaxPointsPerCurve) + 1 < kSlotCount);
static_assert(3 * kMaxCurvesPerBank <= kCurveNumbers);

// Adds (x, y) to the current left curve and (x + 800, y) to its mirror, both with
// tangent (0, 0) unset. Refused, leaving the store unchanged, when the curve
// already has kMaxPointsPerCurve points.
void appendPointPair(int x, int y);
// Removes point j of left or right curve c and the point at the same position of
// its partner curve; later points move down one position.
void removePointPair(int c, int j);
// Ends the current curve and opens the next pair, moving the right bank up one
// curve number. Does nothing when the current curve is empty, or when a bank
// already holds kMaxCurvesPerBank curves.
void startNextCurve();

// GLUT mouse-button and motion handlers (window pixels, y down).
void onMouse(int button, int buttonState, int x, int y);
void onMotion(int x, int y);
// A drag holding a point or a tangent handle lets go of it: the drag's later motion
// events move nothing, and its release adds no point.
void letGoOfHeld();

// --- The edit history (history.cpp) --------------------------------------------------
// An edit of the left and right banks is one step: a point pair added, the points
// one right-click deleted, a curve ended, one whole drag of a point or a tangent
// handle. A step keeps only the curves it changed, before and after, each as its
// count and its counted slot pairs (leading phantom, points, trailing phantom):
// 18 bytes a pair. Oldest steps are dropped beyond kHistorySteps or kHistoryBytes.

constexpr int kHistorySteps = 128;
constexpr size_t kHistoryBytes = size_t{32} << 20;

struct CurveContents {
    int curve = 0;
    int pointCount = 0;
    std::vector<float> points;    // x, y of pairs -1 .. pointCount
    std::vector<float> tangents;  // the same pairs
    std::vector<uint8_t> flags;   // tangentSet of the same slots
};

struct BankContents {
    int curveCount = 0;
    std::vector<CurveContents> curves;
};

struct EditStep {
    BankContents before, after;  // the changed curves only
    size_t bytes = 0;
};

// Wiped only by opening a net file (and by the unit tests' fresh program).
struct EditHistory {
    std::deque<EditStep> steps;  // oldest first
    int undone = 0;              // steps at the end that undo took back; redo replays them
    size_t bytes = 0;            // held by steps
    bool open = false;           // a step has begun and not yet ended
    BankContents pending;        // every curve a step may change, as it began
};

extern EditHistory history;

// Called before and after each edit. A step that changed nothing is not kept; a new
// step drops the steps that were undone.
void beginEdit();
void endEdit();
// Let go of what a drag holds and end its step, then put the store back as it was
// before the last step (undo) or after the last undone one (redo). Return whether
// there was such a step.
bool undoEdit();
bool redoEdit();
void clearHistory();

// --- Net files (netfile.cpp) -------------------------------------------------------
// A net file keeps the two pictures and both nets as JSON. Reading checks all of it
// before anything changes and needs no GL, so any part of the program can read one.
// Derived tangents and phantom points are not kept: the drawing derives them, except
// the leading phantom point of a curve whose first or second tangent was set by
// hand, which the drawing leaves as it is.

constexpr const char* kNetFormat = "morphing-workstation net";
constexpr int kNetVersion = 1;
constexpr long long kMaxNetFileBytes = 16LL << 20;

struct NetPoint {
    float x = 0, y = 0;  // GL pixels
    bool tangentSet = false;
    float tangentX = 0, tangentY = 0;  // only when set by hand
};

struct NetCurve {
    std::vector<NetPoint> points;
    bool hasLead = false;  // the leading phantom point is kept
    float leadX = 0, leadY = 0;
};

struct NetPicture {
    std::string path;           // as the program opens it: from the working directory, or absolute
    int width = 0, height = 0;  // the picture's own size when saved; 0 when not known
};

// In each net the first verticalCount curves are vertical and the rest horizontal;
// the last curve is the current one, empty when the last curve was ended.
struct NetFile {
    NetPicture left, right;
    int verticalCount = 0;
    std::vector<NetCurve> leftNet, rightNet;
};

// Checks and reads the text of a net file whose folder is `folder` (relative picture
// paths are taken from there). Returns an empty text, or the reason it is refused.
std::string parseNetText(std::string_view text, const std::string& folder, NetFile& net);
// The same for the file at path, and both pictures must be files that can be opened.
std::string readNetFile(const char* path, NetFile& net);
// Both nets of the store (pictures left empty).
NetFile netFromStore();
// Makes the store hold net as a fresh store would after its edits: the caller then
// derives the tangents and phantom points by drawing or by deriving each curve.
void putNetIntoStore(const NetFile& net);
// The text of net as a file at path; pictures under path's folder are named from it.
// Returns an empty text, or the reason it cannot be written.
std::string netFileText(const NetFile& net, const std::string& path, std::string& text);
// Writes net to path through a temporary file beside it, synced, then renamed over
// path, or put there only if nothing is at path (replace false). Returns an empty
// text, or the reason; the file at path is then as it was.
std::string writeNetFile(const std::string& path, const NetFile& net, bool replace);

}  // namespace mw
