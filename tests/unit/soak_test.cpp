// Random-gesture soak: a seeded stream of clicks, drags, right-clicks, slider
// drags and keys through the real handlers, with a display pass after every event
// as the toolkit would run it. After every event the store's invariants must hold;
// the sanitizer build catches any read or write outside a buffer.
//
// SOAK_EVENTS sets the number of events per seed (default 2000) and SOAK_SEEDS the
// seeds (default five fixed ones); CI runs a longer soak under the sanitizers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "morph/morph.h"
#include "panels/panels.h"
#include "tests/support/fixtures.h"
#include "tests/support/gl_double.h"

namespace mw {
namespace {

struct GestureStream {
    std::mt19937 rng;
    long events = 0;
    long compositions = 0;

    int below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(1000) < percent * 10; }

    // Window pixels (y down) of a GL position.
    static int windowY(int glY) { return 600 - glY; }

    void display() { onDisplay(); }

    void leftClick(int x, int glY) {
        onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, windowY(glY));
        onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, windowY(glY));
    }
    void rightClick(int x, int glY) {
        onMouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, x, windowY(glY));
        onMouse(GLUT_RIGHT_BUTTON, GLUT_UP, x, windowY(glY));
    }

    // A random point of the left or right bank, or a random place when none.
    bool somePoint(int& x, int& y, bool handle) {
        const int banks = store.curveCount;
        for (int tries = 0; tries < 8; ++tries) {
            const int c = below(banks);
            if (store.pointCount[c] == 0) continue;
            const int s = slotOf(c, below(store.pointCount[c]));
            float px = store.controlPoints[s], py = store.controlPoints[s + 1];
            if (handle) {
                px += store.tangents[s];
                py += store.tangents[s + 1];
            }
            if (!(px > -5000 && px < 5000 && py > -5000 && py < 5000)) return false;
            x = static_cast<int>(px) + between(-3, 3);
            y = static_cast<int>(py) + between(-3, 3);
            return true;
        }
        return false;
    }

    void randomPlace(int& x, int& y) {
        if (chance(75)) {
            x = between(40, 410);
            y = between(90, 510);
        } else {
            x = between(-300, 1550);
            y = between(-300, 900);
        }
    }

    void drag(int x, int y) {
        onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, windowY(y));
        const int moves = between(1, 6);
        for (int k = 0; k < moves; ++k) {
            if (chance(80)) {
                x += between(-20, 20);
                y += between(-20, 20);
            } else {
                randomPlace(x, y);
            }
            onMotion(x, windowY(y));
            display();
        }
        onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, windowY(y));
    }

    void sliderDrag() {
        int x = static_cast<int>(350 + 550 * state.morphT);
        onMouse(GLUT_LEFT_BUTTON, GLUT_DOWN, x, windowY(37));
        const int moves = between(1, 4);
        for (int k = 0; k < moves; ++k) {
            x += between(-120, 120);
            onMotion(x, windowY(37 + between(-25, 25)));
            ++compositions;
            display();
        }
        onMouse(GLUT_LEFT_BUTTON, GLUT_UP, x, windowY(37));
    }

    // Every key of the table and some outside it. A composition on a random net
    // costs far more than any other event, and the curvilinear levels a hundred
    // times the linear one, so compositions are kept rare: Q is pressed rarely and
    // the soak returns to level 1 soon after, and animations start rarely.
    void key() {
        static const char table[] = "MITPCSXBAmitpcsxba";
        static const char others[] = "zZ0 \r\x1bw\x1a\x19";  // and Ctrl+Z, Ctrl+Y
        char k = chance(90) ? table[below(sizeof table - 1)] : others[below(sizeof others - 1)];
        if (chance(state.qualityLevel == 1 ? 3 : 30)) k = chance(50) ? 'q' : 'Q';
        // Each animation step is a composition, and so is S once morphing: rarely.
        if ((k == 'a' || k == 'A') && !state.animationRunning && !chance(5)) k = 'z';
        if ((k == 's' || k == 'S') && state.morphingStarted && !chance(10)) k = 'z';
        onKeyboard(static_cast<unsigned char>(k), between(0, 1250), between(0, 600));
    }

    // Fill the current curve to its capacity and one past it.
    void pointBurst() {
        for (int k = 0; k < kMaxPointsPerCurve + 2; ++k) leftClick(between(50, 400), between(100, 500));
    }
    // Open curves until the banks are full and one past.
    void curveBurst() {
        for (int k = 0; k < kMaxCurvesPerBank + 2; ++k) {
            leftClick(between(50, 400), between(100, 500));
            rightClick(1240, 590);
        }
    }

    void step() {
        int x = 0, y = 0;
        const int kind = below(1000);  // per mille
        if (state.animationRunning && chance(15)) {
            onKeyboard('a', 0, 0);
        } else if (kind < 300) {
            if (!(chance(15) && somePoint(x, y, false))) randomPlace(x, y);
            leftClick(x, y);
        } else if (kind < 500) {
            if (!somePoint(x, y, chance(30))) randomPlace(x, y);
            drag(x, y);
        } else if (kind < 620) {
            if (!(chance(60) && somePoint(x, y, false))) randomPlace(x, y);
            rightClick(x, y);
        } else if (kind < 623) {
            sliderDrag();
        } else if (kind < 900) {
            key();
        } else {
            onMouse(between(0, 4), between(0, 1), between(-10, 1300), between(-10, 700));
        }
        display();
        ++events;
    }
};

void expectStoreSound(long event) {
    const int cc = store.curveCount;
    ASSERT_EQ(cc, store.curveCursor + 1) << "event " << event;
    ASSERT_EQ(cc % 2, 0) << "event " << event;
    ASSERT_GE(cc, 2) << "event " << event;
    const int n = cc / 2;
    ASSERT_LE(n, kMaxCurvesPerBank) << "event " << event;
    for (int c = 0; c < n; ++c) {
        ASSERT_EQ(store.pointCount[c], store.pointCount[c + n]) << "curve " << c << " event " << event;
        ASSERT_GE(store.pointCount[c], 0);
        ASSERT_LE(store.pointCount[c], kMaxPointsPerCurve) << "curve " << c << " event " << event;
        if (state.morphingStarted) {
            ASSERT_EQ(store.pointCount[2 * n + c], store.pointCount[c])
                << "intermediate curve " << c << " event " << event;
        }
    }
    ASSERT_GE(state.qualityLevel, 1);
    ASSERT_LE(state.qualityLevel, 3);
    ASSERT_GE(state.viewMode, 1);
    ASSERT_LE(state.viewMode, 3);
    ASSERT_TRUE(state.pickRadius == kPickRadius || state.pickRadius == kDragRadius);
    ASSERT_GE(morph.intersectionCount, 0);
    ASSERT_LE(morph.intersectionCount, kIntersectionFloats);
    ASSERT_EQ(morph.intersectionCount % 2, 0);
}

class Soak : public testfixtures::CleanProgram {};

TEST_F(Soak, RandomGesturesKeepTheStoreSound) {
    const char* env = std::getenv("SOAK_EVENTS");
    const long perSeed = env ? std::atol(env) : 2000;
    const std::filesystem::path home = std::filesystem::current_path();
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("mw-soak-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);

    std::vector<unsigned> seeds = {11u, 2024u, 77777u, 31337u, 4242u};
    if (const char* list = std::getenv("SOAK_SEEDS")) {  // e.g. "5,6,7"
        seeds.clear();
        for (const char* p = list; *p != '\0';) {
            char* end = nullptr;
            seeds.push_back(static_cast<unsigned>(std::strtoul(p, &end, 10)));
            p = *end == ',' ? end + 1 : end;
            if (end == p && *p != '\0') break;
        }
    }
    for (const unsigned seed : seeds) {
        testfixtures::resetProgram();
        gldouble::recording = false;
        std::mt19937 fill(seed);
        for (auto& b : images.leftImage) b = static_cast<uint8_t>(fill());
        for (auto& b : images.rightImage) b = static_cast<uint8_t>(fill());
        images.morphWidth = kWorkWidth;
        images.morphHeight = kWorkHeight;
        images.morphChannels = 3;

        // The capacity bursts come near the end of each seed: a curve of 498 random
        // points makes every later warp slow, which would cap the soak's length.
        GestureStream soak{std::mt19937(seed)};
        while (soak.events < perSeed) {
            if (soak.events == perSeed - 20) {
                soak.pointBurst();
                soak.curveBurst();
                soak.display();
                expectStoreSound(soak.events);
            }
            soak.step();
            expectStoreSound(soak.events);
            if (HasFatalFailure()) {
                ADD_FAILURE() << "seed " << seed;
                break;
            }
        }
        std::printf("soak seed %u: %ld events, %ld slider compositions, %d curves per bank\n",
                    seed, soak.events, soak.compositions, store.curveCount / 2);
        if (HasFatalFailure()) break;
    }
    std::filesystem::current_path(home);
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace mw
