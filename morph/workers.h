// workers.h -- worker threads and the one hand-off between the event thread and a
// worker, which the morph engine's helpers and the frame writer share.
//
// A worker is a thread that waits for a piece of work, runs it and waits again.
// Only the event thread hands work over and waits for it; the work reads and
// writes only what its caller gave it, and the caller does not touch that until it
// has waited for the worker. Handing over publishes everything the event thread
// wrote before (release / acquire), and so does the end of the work.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace mw {

// A piece of work: the function, what it works on, and which part of it.
using WorkerTask = void (*)(const void* context, int part);

struct Worker {
    std::mutex gate;                   // sleeping and waking pass through it
    std::condition_variable wake;      // work was handed over, or the program ends
    std::condition_variable finished;  // the work handed over has run
    WorkerTask task = nullptr;
    const void* context = nullptr;
    int part = 0;
    std::atomic<unsigned long> posted{0};  // pieces handed over
    std::atomic<unsigned long> done{0};    // pieces finished
    std::atomic<bool> stopping{false};
    bool started = false;
    bool unavailable = false;  // the thread could not be created
    std::thread thread;
};

// Starts the worker's thread unless it already runs; it then lives until the
// program ends, when it finishes the work in hand and is joined. Returns false
// when no thread can be created: the caller does the work itself.
bool startWorkerThread(Worker& worker);
// Hands task(context, part) to a worker whose thread runs and which has finished
// what it was handed before.
void handOver(Worker& worker, WorkerTask task, const void* context, int part);
// Returns once the worker has finished everything handed to it.
void waitForWorker(Worker& worker);

}  // namespace mw
