// Every composition, pinned: digests of morphImage, both warps and the recorded
// crossings after composeMorph, over a table of nets, quality levels, inversions,
// views and morphT values. The table (compose_digests.inc) was recorded from the
// engine as it stood before it was made faster, and its rows are found by the
// case's name; a digest that changes is a fault of the engine, never a reason to
// rewrite the table.
//
// To record the cases that are not in the table yet (a net, a moment or a setting
// added to the grid), appending their rows to it and leaving every recorded one:
//   COMPOSE_DIGESTS_WRITE=$PWD/tests/unit/compose_digests.inc
//       build/tests/unit_tests --gtest_filter='ComposeDigest.*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "app/state.h"
#include "curvemath/curvemath.h"
#include "curvemath/instruction_set.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"
#include "tests/support/morph_nets.h"

namespace mw {
namespace {

// --- Digests ---------------------------------------------------------------------

// 64-bit digest of a buffer, eight bytes at a time. Each step (xor a word, multiply
// by an odd constant, fold the high half down) is a bijection of the running value,
// so changing any one word of the buffer always changes the digest.
uint64_t digestOf(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&h](uint64_t word) {
        h ^= word;
        h *= 0x9e3779b97f4a7c15ull;
        h ^= h >> 32;
    };
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        mix(word);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, bytes + i, size - i);
    mix(tail);
    mix(size);
    return h;
}

struct Digests {
    uint64_t morphImage, leftWarp, rightWarp, crossings;
    bool operator==(const Digests&) const = default;
};

Digests digestsNow() {
    const int count = std::clamp(morph.intersectionCount, 0, kIntersectionFloats);
    return {digestOf(images.morphImage.data(), sizeof images.morphImage),
            digestOf(images.leftWarp.data(), sizeof images.leftWarp),
            digestOf(images.rightWarp.data(), sizeof images.rightWarp),
            digestOf(morph.intersectionPoints.data(), sizeof(float) * count)};
}

// --- Nets --------------------------------------------------------------------------

// splitmix64: the same sequence on every platform and standard library.
struct Random {
    uint64_t s;
    uint64_t next() {
        uint64_t z = (s += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    int between(int lo, int hi) {  // lo .. hi, both included
        return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1));
    }
};

// How a user-drawn net is shaped: how many curves of each kind, how many points,
// how far the points stray from a regular grid (pixels).
struct NetShape {
    int verticals, horizontals;
    int minPoints, maxPoints;
    int along, across;  // stray along the curve and across it
};

int pointsOf(const NetShape& shape, Random& rng) {
    return rng.between(shape.minPoints, shape.maxPoints);
}

// Draws the net over the left panel as a user would, each curve ended by a
// right-click: verticals downwards from left to right, then horizontals from left
// to right, bottom to top. Points start a little beyond the panel's edges.
void drawRandomNet(const NetShape& shape, Random& rng) {
    for (int i = 0; i < shape.verticals; ++i) {
        const int x = 50 + 350 * (i + 1) / (shape.verticals + 1);
        const int points = pointsOf(shape, rng);
        for (int j = 0; j < points; ++j) {
            const int y = 506 - 412 * j / (points - 1);
            appendPointPair(x + rng.between(-shape.across, shape.across),
                            y + rng.between(-shape.along, shape.along));
        }
        startNextCurve();
    }
    for (int i = 0; i < shape.horizontals; ++i) {
        const int y = 100 + 400 * (i + 1) / (shape.horizontals + 1);
        const int points = pointsOf(shape, rng);
        for (int j = 0; j < points; ++j) {
            const int x = 44 + 362 * j / (points - 1);
            appendPointPair(x + rng.between(-shape.along, shape.along),
                            y + rng.between(-shape.across, shape.across));
        }
        startNextCurve();
    }
}

// Drags every point of the right net by up to `reach` pixels each way.
void reshapeRightNet(Random& rng, int reach) {
    const int n = store.curveCount / 2;
    for (int c = n; c < 2 * n; ++c) {
        for (int j = 0; j < store.pointCount[c]; ++j) {
            store.controlPoints[slotOf(c, j)] += static_cast<float>(rng.between(-reach, reach));
            store.controlPoints[slotOf(c, j) + 1] += static_cast<float>(rng.between(-reach, reach));
        }
    }
}

void movePoint(int c, int j, float x, float y) {
    store.controlPoints[slotOf(c, j)] = x;
    store.controlPoints[slotOf(c, j) + 1] = y;
}

int rightCurve(int leftCurve) {
    return leftCurve + store.curveCount / 2;
}

void benchmarkNet() {
    morphnets::drawBenchmarkNet();
    morphnets::reshapeBenchmarkRightNet();
}

void emptyNet() {}  // only the open, empty first curve

void randomNet() {
    Random rng{101};
    drawRandomNet({5, 6, 3, 9, 12, 8}, rng);
    reshapeRightNet(rng, 20);
}

// Neighbouring curves cross each other and curves turn back on themselves; two
// curves coincide.
void crossingNet() {
    Random rng{202};
    drawRandomNet({6, 5, 4, 7, 70, 45}, rng);
    reshapeRightNet(rng, 40);
    for (int j = 0; j < store.pointCount[1]; ++j) {
        movePoint(1, j, store.controlPoints[slotOf(0, j)], store.controlPoints[slotOf(0, j) + 1]);
    }
}

// Points dragged out of their panel: into the gap between panels, beyond the
// window, above and below the panels; in both nets.
void outsideNet() {
    Random rng{303};
    drawRandomNet({4, 4, 4, 6, 10, 10}, rng);
    reshapeRightNet(rng, 15);
    movePoint(0, 1, -120, 430);
    movePoint(1, 0, 60, 590);
    movePoint(2, 2, 425, 300);
    movePoint(3, 3, 200, 20);
    movePoint(4, 0, 10, 140);
    movePoint(6, 2, 230, 560);
    movePoint(7, 1, 610, 420);
    movePoint(rightCurve(0), 2, 830, 250);
    movePoint(rightCurve(2), 1, 1320, 360);
    movePoint(rightCurve(5), 3, 1000, 40);
    movePoint(rightCurve(7), 0, 700, 450);
}

// Curves of one or two points (no phantom points) between full curves.
void shortCurvesNet() {
    const int verticals[][2] = {{120, 506}, {190, 300}, {260, 506}, {330, 506}};
    const int counts[] = {5, 1, 2, 4};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < counts[i]; ++j)
            appendPointPair(verticals[i][0] + 3 * j, verticals[i][1] - 103 * j);
        startNextCurve();
    }
    const int rows[] = {170, 250, 330, 410, 460};
    const int hcounts[] = {2, 5, 1, 4, 5};
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < hcounts[i]; ++j) appendPointPair(44 + 90 * j, rows[i] + 2 * j);
        startNextCurve();
    }
    Random rng{404};
    reshapeRightNet(rng, 12);
}

// Control points exactly on scan lines: rows' y, and columns' x on the left and
// right panels (and so, at morphT 0 and 1, on the morph panel's columns).
void scanLineNet() {
    auto rowY = [](int r) { return kPanelBottom + r * kPanelHeight / kWorkHeight; };
    auto columnX = [](int left, int c) { return left + c * kPanelWidth / kWorkWidth; };
    const int vx[] = {36, 100, 170, 222};
    for (int i = 0; i < 4; ++i) {
        const int x = columnX(50, vx[i]);
        appendPointPair(x, i == 0 ? rowY(292) : 505);
        appendPointPair(x + 5, rowY(210 - 7 * i));
        appendPointPair(x - 4, rowY(140 + 3 * i));
        appendPointPair(x + 2, rowY(61));
        appendPointPair(x, i == 3 ? rowY(0) : 95);
        startNextCurve();
    }
    const int hy[] = {60, 130, 201, 260};
    for (int i = 0; i < 4; ++i) {
        const int y = rowY(hy[i]);
        appendPointPair(i == 1 ? columnX(50, 0) : 45, y);
        appendPointPair(columnX(50, 60 + 5 * i), y + 6);
        appendPointPair(columnX(50, 128), y - 3);
        appendPointPair(columnX(50, 190 - 4 * i), y + 2);
        appendPointPair(i == 2 ? columnX(50, 255) : 405, y);
        startNextCurve();
    }
    // The right net keeps its points on the right panel's columns and on rows.
    const int n = store.curveCount / 2;
    for (int c = n; c < 2 * n; ++c) {
        for (int j = 1; j + 1 < store.pointCount[c]; ++j) {
            const bool vertical = c - n < n / 2;
            const int k = (c * 5 + j * 3) % 7 - 3;
            if (vertical) {
                store.controlPoints[slotOf(c, j)] += static_cast<float>(4 * k);
            } else {
                const int r = (static_cast<int>(store.controlPoints[slotOf(c, j) + 1]) - 100) *
                              kWorkHeight / kPanelHeight;
                store.controlPoints[slotOf(c, j) + 1] = static_cast<float>(rowY(r + 2 * k));
            }
        }
    }
}

// Evenly spaced points: the inner segments' cubics have no cubic term, which the
// roots solve as a quadratic or a line.
void evenNet() {
    for (int i = 0; i < 4; ++i) {
        const int x = 110 + 60 * i;
        for (int j = 0; j < 6; ++j) appendPointPair(i == 3 ? x - 8 * j : x, 510 - 84 * j);
        startNextCurve();
    }
    for (int i = 0; i < 4; ++i) {
        const int y = 170 + 75 * i;
        for (int j = 0; j < 5; ++j) appendPointPair(40 + 92 * j, i == 2 ? y + 5 * j : y);
        startNextCurve();
    }
    // The right net: each curve moved as a whole, so it stays evenly spaced.
    const int n = store.curveCount / 2;
    for (int c = n; c < 2 * n; ++c) {
        const float dx = static_cast<float>((c * 13) % 21 - 10);
        const float dy = static_cast<float>((c * 7) % 17 - 8);
        for (int j = 0; j < store.pointCount[c]; ++j) {
            store.controlPoints[slotOf(c, j)] += dx;
            store.controlPoints[slotOf(c, j) + 1] += dy;
        }
    }
}

// The store's capacity: 33 curves per bank (16 vertical, 17 horizontal).
void capacityNet() {
    Random rng{505};
    drawRandomNet({16, 17, 3, 6, 6, 3}, rng);
    reshapeRightNet(rng, 6);
}

// Positions between whole pixels, as no mouse gives them.
void fractionalNet() {
    Random rng{606};
    drawRandomNet({5, 4, 4, 7, 15, 10}, rng);
    reshapeRightNet(rng, 25);
    for (int c = 0; c < store.curveCount; ++c) {
        for (int j = 0; j < store.pointCount[c]; ++j) {
            store.controlPoints[slotOf(c, j)] += static_cast<float>(rng.between(0, 255)) / 256.0f;
            store.controlPoints[slotOf(c, j) + 1] +=
                static_cast<float>(rng.between(0, 999)) / 1000.0f;
        }
    }
}

// Long curves of many points, some turning back.
void longCurvesNet() {
    Random rng{707};
    drawRandomNet({3, 3, 20, 30, 9, 14}, rng);
    reshapeRightNet(rng, 9);
}

// morphT for the intermediate bank the last display built, and for the blend: a
// slider drag warps towards the bank of the previous morphT.
struct Moment {
    float bankT, blendT;
};

struct Net {
    const char* name;
    void (*draw)();
    Moment moments[2];
};

const Net kNets[] = {
    {"benchmark", benchmarkNet, {{0.5f, 0.5f}, {0.37f, 0.38f}}},
    {"empty", emptyNet, {{0.5f, 0.5f}, {1.0f, 1.0f}}},
    {"random", randomNet, {{0.83f, 0.84f}, {0.0f, 0.0f}}},
    {"crossing", crossingNet, {{0.5f, 0.5f}, {0.21f, 0.2f}}},
    {"outside", outsideNet, {{0.64f, 0.65f}, {1.0f, 1.0f}}},
    {"short curves", shortCurvesNet, {{0.5f, 0.51f}, {0.0f, 0.01f}}},
    {"scan lines", scanLineNet, {{0.0f, 0.0f}, {1.0f, 1.0f}}},
    {"evenly spaced", evenNet, {{0.5f, 0.5f}, {0.25f, 0.25f}}},
    {"capacity", capacityNet, {{0.5f, 0.5f}, {0.91f, 0.9f}}},
    {"fractional", fractionalNet, {{0.43f, 0.43f}, {0.77f, 0.78f}}},
    {"long curves", longCurvesNet, {{0.5f, 0.5f}, {0.12f, 0.13f}}},
};

// --- Cases -------------------------------------------------------------------------

struct Case {
    const char* net;
    int moment, level, bisection, view;
    Digests digests;
    bool sameCase(const Case& other) const {
        return std::strcmp(net, other.net) == 0 && moment == other.moment &&
               level == other.level && bisection == other.bisection && view == other.view;
    }
};

const Case kTable[] = {
#include "tests/unit/compose_digests.inc"
};

// Every net at every moment, level, inversion and view.
std::vector<Case> grid() {
    std::vector<Case> cases;
    for (const Net& net : kNets)
        for (int moment = 0; moment < 2; ++moment)
            for (int level : {kQualityLinear, kQualitySimple, kQualityPrecise})
                for (int bisection : {1, 0})
                    for (int view : {kViewLeft, kViewRight, kViewBoth})
                        cases.push_back({net.name, moment, level, bisection, view, {}});
    return cases;
}

const Net& netNamed(const char* name) {
    for (const Net& net : kNets)
        if (std::strcmp(net.name, name) == 0) return net;
    return kNets[0];  // never: every case names one of kNets
}

// The table's row of a case, or nullptr.
const Case* recorded(const Case& c) {
    for (const Case& row : kTable)
        if (row.sameCase(c)) return &row;
    return nullptr;
}

// A fresh program with the case's net, settled by a display pass at the bank's
// morphT, and warps that hold a pattern no warp writes (so a view that leaves a
// warp alone is pinned too); then one composition.
Digests compose(const Case& c) {
    testfixtures::resetProgram();
    gldouble::recording = false;
    morphnets::paintCodedPictures();
    images.morphImage.fill(0x5a);
    images.morphWork.fill(-3);
    images.leftWarp.fill(-5);
    images.rightWarp.fill(-7);

    const Net& net = netNamed(c.net);
    const Moment moment = net.moments[c.moment];
    net.draw();
    state.morphingStarted = true;
    state.morphT = moment.bankT;
    morphnets::settleDisplay();
    state.morphT = moment.blendT;
    state.qualityLevel = c.level;
    state.useBinarySearch = c.bisection != 0;
    state.viewMode = c.view;
    composeMorph();
    return digestsNow();
}

std::string describe(const Case& c) {
    char text[160];
    std::snprintf(text, sizeof text, "net %s, moment %d, level %d, %s, view %d", c.net, c.moment,
                  c.level, c.bisection ? "bisection" : "roots", c.view);
    return text;
}

// Names of the buffers whose digests differ.
std::string differences(const Digests& now, const Digests& recorded) {
    std::string text;
    if (now.morphImage != recorded.morphImage) text += " morphImage";
    if (now.leftWarp != recorded.leftWarp) text += " leftWarp";
    if (now.rightWarp != recorded.rightWarp) text += " rightWarp";
    if (now.crossings != recorded.crossings) text += " intersectionPoints";
    return text + " changed";
}

// Under ThreadSanitizer, some ten times slower, the point is the engine's threads
// rather than the table: every fifth case (five is prime to the sizes of the grid's
// dimensions, so every level, inversion and view still comes up) with one
// instruction set.
#if defined(__SANITIZE_THREAD__)
constexpr bool kThreadSanitizer = true;
#else
constexpr bool kThreadSanitizer = false;
#endif
constexpr size_t kStride = kThreadSanitizer ? 5 : 1;

// Appends a row for each case of the grid that the table lacks to the file at
// `path`; the rows it has are neither computed nor written.
void recordMissing(const std::vector<Case>& cases, const char* path) {
    FILE* out = std::fopen(path, "a");
    ASSERT_NE(out, nullptr) << path;
    int added = 0;
    for (const Case& c : cases) {
        if (recorded(c) != nullptr) continue;
        const Digests d = compose(c);
        std::fprintf(
            out,
            "{\"%s\", %d, %d, %d, %d, {0x%016llxull, 0x%016llxull, 0x%016llxull, 0x%016llxull}},\n",
            c.net, c.moment, c.level, c.bisection, c.view,
            static_cast<unsigned long long>(d.morphImage),
            static_cast<unsigned long long>(d.leftWarp),
            static_cast<unsigned long long>(d.rightWarp),
            static_cast<unsigned long long>(d.crossings));
        ++added;
    }
    std::fclose(out);
    std::printf("%d rows added to %s\n", added, path);
}

TEST(ComposeDigest, EveryCompositionMatchesTheRecordedEngine) {
    const std::vector<Case> cases = grid();
    if (const char* path = std::getenv("COMPOSE_DIGESTS_WRITE")) {
        recordMissing(cases, path);
        GTEST_SKIP() << "missing rows recorded in " << path;
    }

    // Every case has one row, and every row one case.
    for (const Case& c : cases)
        ASSERT_NE(recorded(c), nullptr) << describe(c) << " is not in the table: record it";
    for (const Case& row : kTable) {
        const int cases = static_cast<int>(std::count_if(
            std::begin(kTable), std::end(kTable), [&](const Case& r) { return r.sameCase(row); }));
        ASSERT_EQ(cases, 1) << describe(row) << " has " << cases << " rows";
    }
    ASSERT_EQ(std::size(kTable), cases.size()) << "the table has rows for cases not in the grid";

    // Every instruction set of the kernels (those the processor lacks fall back to
    // the next narrower one).
    for (InstructionSet widest : kInstructionSets) {
        if (widest != InstructionSet::Avx512 && kThreadSanitizer) continue;
        limitInstructionSet(widest);
        SCOPED_TRACE(instructionSetName(instructionSetInUse()));
        for (size_t i = 0; i < cases.size(); i += kStride) {
            const Digests d = compose(cases[i]);
            const Digests& want = recorded(cases[i])->digests;
            EXPECT_TRUE(d == want) << describe(cases[i]) << ": " << differences(d, want);
        }
    }
    limitInstructionSet(InstructionSet::Avx512);
}

}  // namespace
}  // namespace mw
