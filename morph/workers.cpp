// workers.cpp -- worker threads: started on first use, each waiting for the
// event thread to hand it a piece of work, all joined when the program ends.
#include "morph/workers.h"

#include <array>
#include <cstdlib>
#include <system_error>

namespace mw {

namespace {

// The engine hands its helpers two parts in quick succession (the rows, then the
// columns), and the threads finish a part at nearly the same time. Waking a
// sleeping thread costs a system call and a reschedule (tens of microseconds, a
// tenth of a linear composition), so a thread that waits first watches the
// counters for this many rounds of a pause instruction (some tens of
// microseconds) before it goes to sleep.
constexpr int kWatchRounds = 2000;

// Every worker whose thread runs, to be joined at exit.
constexpr int kMaxWorkers = 128;
std::array<Worker*, kMaxWorkers> running{};
int runningCount = 0;
bool joinedAtExit = false;

void pause() {
    __builtin_ia32_pause();
}

// Waits until ready() holds: first by watching, then asleep on `signal`. Whoever
// makes ready() hold passes through the gate before notifying, so a thread that
// found it false under the gate is already waiting when the notification comes.
template <typename Ready>
void waitFor(Worker& worker, std::condition_variable& signal, Ready ready) {
    for (int round = 0; round < kWatchRounds; ++round) {
        if (ready()) return;
        pause();
    }
    std::unique_lock<std::mutex> lock(worker.gate);
    signal.wait(lock, ready);
}

void notify(Worker& worker, std::condition_variable& signal) {
    { std::lock_guard<std::mutex> pass(worker.gate); }
    signal.notify_all();
}

// Work handed over is run even when the end of the program has come meanwhile: a
// frame handed to the writer is written whole before the program ends.
void workerLoop(Worker* worker) {
    unsigned long taken = 0;
    for (;;) {
        waitFor(*worker, worker->wake, [&] {
            return worker->posted.load(std::memory_order_acquire) != taken ||
                   worker->stopping.load(std::memory_order_acquire);
        });
        if (worker->posted.load(std::memory_order_acquire) == taken) return;
        ++taken;
        worker->task(worker->context, worker->part);
        worker->done.store(taken, std::memory_order_release);
        notify(*worker, worker->finished);
    }
}

// Registered with atexit once a thread runs, so every worker is joined before the
// process's static objects (the workers among them) are destroyed.
void stopWorkerThreads() {
    for (int i = runningCount - 1; i >= 0; --i) {
        Worker& worker = *running[i];
        worker.stopping.store(true, std::memory_order_release);
        notify(worker, worker.wake);
        worker.thread.join();
    }
    runningCount = 0;
}

}  // namespace

bool startWorkerThread(Worker& worker) {
    if (worker.started) return true;
    if (worker.unavailable || runningCount == kMaxWorkers) return false;
    try {
        worker.thread = std::thread(workerLoop, &worker);
    } catch (const std::system_error&) {
        worker.unavailable = true;
        return false;
    }
    worker.started = true;
    if (!joinedAtExit) joinedAtExit = std::atexit(stopWorkerThreads) == 0;
    running[runningCount++] = &worker;
    return true;
}

void handOver(Worker& worker, WorkerTask task, const void* context, int part) {
    worker.task = task;
    worker.context = context;
    worker.part = part;
    worker.posted.store(worker.posted.load(std::memory_order_relaxed) + 1,
                        std::memory_order_release);
    notify(worker, worker.wake);
}

void waitForWorker(Worker& worker) {
    const unsigned long handed = worker.posted.load(std::memory_order_relaxed);
    waitFor(worker, worker.finished,
            [&] { return worker.done.load(std::memory_order_acquire) == handed; });
}

}  // namespace mw
