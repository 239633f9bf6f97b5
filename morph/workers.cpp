// workers.cpp -- the engine's helper thread: a composition runs one part of its
// work here while the event thread runs the other. The thread is started at the
// first composition and lives until the program ends; it touches nothing but
// what the part it is given reads and writes (see morph.h).
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "morph/morph.h"

namespace mw {

namespace {

// Everything but `thread` is guarded by `gate`; only the event thread starts and
// stops the helper.
struct Helper {
    std::mutex gate;
    std::condition_variable wake;      // a part was posted, or the program ends
    std::condition_variable finished;  // the posted part has run
    EnginePart work = nullptr;
    const void* context = nullptr;
    unsigned long posted = 0;  // parts handed to the helper
    unsigned long done = 0;    // parts it has finished
    bool stopping = false;
    bool started = false;
    bool unavailable = false;  // the thread could not be created
    std::thread thread;
};

Helper helper;

void helperLoop() {
    std::unique_lock<std::mutex> lock(helper.gate);
    for (;;) {
        helper.wake.wait(lock, [] { return helper.stopping || helper.posted != helper.done; });
        if (helper.stopping) return;
        const EnginePart work = helper.work;
        const void* context = helper.context;
        lock.unlock();
        work(context, 1);
        lock.lock();
        helper.done = helper.posted;
        helper.finished.notify_one();
    }
}

// Registered with atexit once the thread runs, so it is joined before the
// process's static objects (this one among them) are destroyed.
void stopHelper() {
    {
        std::lock_guard<std::mutex> lock(helper.gate);
        helper.stopping = true;
    }
    helper.wake.notify_one();
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
    {
        std::lock_guard<std::mutex> lock(helper.gate);
        helper.work = work;
        helper.context = context;
        ++helper.posted;
    }
    helper.wake.notify_one();
    work(context, 0);
    std::unique_lock<std::mutex> lock(helper.gate);
    helper.finished.wait(lock, [] { return helper.done == helper.posted; });
}

}  // namespace mw
