// curves.h -- the curve store (left, right and intermediate banks) and the mouse
// gestures that build and shape the curves and move the slider.
//
// Curves are addressed by number, points by slot: point j of curve c lies at
// slot 1000*c + 2 + 2*j (x at the slot, y after it). The slot pair before the
// first point and the pair after the last hold phantom end points.
// With n = curveCount / 2: curves 0..n-1 are the left bank, n..2n-1 the right
// bank, 2n..3n-1 the intermediate bank; in each bank the first n / 2 curves are
// vertical and the rest horizontal.
#pragma once

#include <array>
#include <cstdint>

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

}  // namespace mw
