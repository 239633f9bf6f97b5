// workers.cpp -- the engine's helper thread: a composition runs one part of its
// work here while the event thread runs the other. The thread is started at the
// first composition and lives until the program ends; it touches nothing but
// what the part it is given reads and writes (see morph.h).
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "morph/morph.h"

namespace mw {

namespace {

// A composition hands the helper two parts in quick succession (the rows, then the
// columns), and the two threads finish a part at nearly the same time. Waking a
// sleeping thread costs a system call and a reschedule (tens of microseconds, a
// tenth of a linear composition), so each thread first watches the counters for
// this many rounds of a pause instruction (some tens of microseconds) before it
// goes to sleep.
constexpr int kWatchRounds = 2000;

// Only the event thread posts parts and starts and stops the helper. `work` and
// `context` are written before `posted` is raised and read after it is seen
// (release / acquire); the helper raises `done` when the part has run. Sleeping
// and waking go through `gate`: whoever raises a counter passes through the gate
// before notifying, so a thread that found the counter unchanged under the gate is
// already waiting when the notification comes.
struct Helper {
    std::mutex gate;
    std::condition_variable wake;      // a part was posted, or the program ends
    std::condition_variable finished;  // the posted part has run
    EnginePart work = nullptr;
    const void* context = nullptr;
    std::atomic<unsigned long> posted{0};  // parts handed to the helper
    std::atomic<unsigned long> done{0};    // parts it has finished
    std::atomic<bool> stopping{false};
    bool started = false;
    bool unavailable = false;  // the thread could not be created
    std::thread thread;
};

Helper helper;

void pause() {
    __builtin_ia32_pause();
}

// Waits until ready() holds: first by watching, then asleep on `signal`.
template <typename Ready>
void waitFor(std::condition_variable& signal, Ready ready) {
    for (int round = 0; round < kWatchRounds; ++round) {
        if (ready()) return;
        pause();
    }
    std::unique_lock<std::mutex> lock(helper.gate);
    signal.wait(lock, ready);
}

void notify(std::condition_variable& signal) {
    { std::lock_guard<std::mutex> pass(helper.gate); }
    signal.notify_one();
}

void helperLoop() {
    unsigned long taken = 0;
    for (;;) {
        waitFor(helper.wake, [&] {
            return helper.stopping.load(std::memory_order_acquire) ||
                   helper.posted.load(std::memory_order_acquire) != taken;
        });
        if (helper.stopping.load(std::memory_order_acquire)) return;
        ++taken;
        helper.work(helper.context, 1);
        helper.done.store(taken, std::memory_order_release);
        notify(helper.finished);
    }
}

// Registered with atexit once the thread runs, so it is joined before the
// process's static objects (this one among them) are destroyed.
void stopHelper() {
    helper.stopping.store(true, std::memory_order_release);
    notify(helper.wake);
    helper.thread.join();
}

bool helperRunning() {
    if (helper.started) return true;
    if (helper.unavailable) return false;
    try {
        helper.thread = std::thread(helperLoop);
    } catch (const std::system_error&) {
        helper.unavailable = true;
        return false;
    }
    helper.started = true;
    std::atexit(stopHelper);
    return true;
}

}  // namespace

void runBothParts(EnginePart work, const void* context) {
    if (!helperRunning()) {
        work(context, 0);
        work(context, 1);
        return;
    }
    helper.work = work;
    helper.context = context;
    const unsigned long part = helper.posted.load(std::memory_order_relaxed) + 1;
    helper.posted.store(part, std::memory_order_release);
    notify(helper.wake);
    work(context, 0);
    waitFor(helper.finished,
            [part] { return helper.done.load(std::memory_order_acquire) == part; });
}

}  // namespace mw
