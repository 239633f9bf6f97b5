// frames.cpp -- the animation's frames as BMP files. SOIL makes each file from
// frameImage; the bytes are checked and put under the frame's name only whole. During
// an animation a thread of its own writes each frame while the next step composes.
#include <SOIL/SOIL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "app/state.h"
#include "export/export.h"
#include "panels/panels.h"

namespace mw {

namespace {

// The frame writer always gets 3 bytes per pixel, whatever the right picture
// decoded to: frameImage is built from morphImage, which has 3.
constexpr int kFrameChannels = 3;

// The frame's file: the 54-byte header, then 293 rows of 768 bytes.
constexpr size_t kFrameFileBytes = 54 + kWorkBytes;  // 225,078
// A pipe this large holds a whole frame file, so the writer never waits on it.
constexpr int kPipeBytes = 256 * 1024;
static_assert(kFrameFileBytes < kPipeBytes);

// The bytes of the frame file being written; one more, to see a writer that
// produced too many.
std::array<uint8_t, kFrameFileBytes + 1> frameFile;

std::string errnoText(const char* what) {
    return std::string(what) + std::strerror(errno);
}

// SOIL makes the file's bytes from frameImage. It checks none of its own writes
// and reports success on a full disk, so it writes into a pipe of this process,
// reached through /proc, never onto the disk; what it produced is then read back
// into frameFile. Returns an empty text, or why there are no whole file bytes.
std::string encodeFrame() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return errnoText("cannot open a pipe for the frame: ");
    std::string reason;
    char writerPath[32];
    std::snprintf(writerPath, sizeof writerPath, "/proc/self/fd/%d", ends[1]);
    if (fcntl(ends[1], F_SETPIPE_SZ, kPipeBytes) < static_cast<int>(kFrameFileBytes)) {
        reason = errnoText("cannot widen the frame's pipe: ");
    } else if (access(writerPath, W_OK) != 0) {
        reason = errnoText("cannot reach the frame's pipe through /proc: ");
    } else if (SOIL_save_image(writerPath, SOIL_SAVE_TYPE_BMP, kWorkWidth, kWorkHeight,
                               kFrameChannels, images.frameImage.data()) == 0) {
        reason = std::string("the frame writer failed: ") + SOIL_last_result();
    }
    close(ends[1]);  // the writer has closed its own end: what follows is all there is
    size_t got = 0;
    while (reason.empty() && got < frameFile.size()) {
        const ssize_t n = read(ends[0], frameFile.data() + got, frameFile.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) reason = errnoText("cannot read the frame's pipe: ");
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    close(ends[0]);
    if (reason.empty() && got != kFrameFileBytes)
        reason = "the frame writer produced " + std::to_string(got) + " bytes, not " +
                 std::to_string(kFrameFileBytes);
    return reason;
}

// Writes frameFile to `temporary`, checking every call: a short write is followed
// by one that fails with the reason (no space, file too large, I/O error). The
// file reaches the disk before it counts as whole. Returns an empty text, or the
// reason; the temporary file is then removed.
std::string storeFrame(const char* temporary) {
    const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return std::strerror(errno);
    std::string reason;
    size_t done = 0;
    while (done < kFrameFileBytes) {
        const ssize_t n = write(fd, frameFile.data() + done, kFrameFileBytes - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = n < 0 ? std::strerror(errno) : "nothing written";
            break;
        }
        done += static_cast<size_t>(n);
    }
    struct stat written {};
    if (reason.empty() && fsync(fd) != 0) reason = std::strerror(errno);
    if (reason.empty() && fstat(fd, &written) != 0) reason = std::strerror(errno);
    if (reason.empty() && written.st_size != static_cast<off_t>(kFrameFileBytes))
        reason = "file holds " + std::to_string(written.st_size) + " bytes, not " +
                 std::to_string(kFrameFileBytes);
    if (close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (!reason.empty()) unlink(temporary);
    return reason;
}

// Writes frameImage, top row first, to `path`: under a temporary name beside it,
// renamed once whole. Failures leave nothing and are reported.
bool writeFrameImage(const char* path) {
    const std::string temporary = std::string(path) + ".part";
    std::string reason = encodeFrame();
    if (reason.empty()) reason = storeFrame(temporary.c_str());
    if (reason.empty() && rename(temporary.c_str(), path) != 0) {
        reason = std::strerror(errno);
        unlink(temporary.c_str());
    }
    if (reason.empty()) return true;
    std::fprintf(stderr, "cannot write frame %s: %s\n", path, reason.c_str());
    return false;
}

// The thread that writes the animation's frames. It is started with the first
// frame handed to it and lives until the program ends. A frame is handed over in
// frameImage and `path`; while `pending` is set both belong to the writer, and the
// event thread waits for it to clear before it touches either again. The writer
// reads nothing else of the program.
struct FrameWriter {
    std::mutex gate;
    std::condition_variable changed;  // a frame was handed over or written, or the end came
    decltype(ProgramState::sequencePath) path{};
    bool pending = false;
    bool stopping = false;
    bool started = false;
    bool unavailable = false;  // the thread could not be created: frames are written at once
    std::thread thread;
};

FrameWriter writer;

void writerLoop() {
    std::unique_lock<std::mutex> lock(writer.gate);
    for (;;) {
        writer.changed.wait(lock, [] { return writer.pending || writer.stopping; });
        if (!writer.pending) return;  // the program ends and every frame is written
        lock.unlock();
        writeFrameImage(writer.path.data());
        lock.lock();
        writer.pending = false;
        writer.changed.notify_all();
    }
}

// Registered with atexit once the thread runs: the frame in hand is finished, so
// the last frame of an animation is whole on the disk when the program has ended.
void stopWriter() {
    {
        std::lock_guard<std::mutex> hold(writer.gate);
        writer.stopping = true;
    }
    writer.changed.notify_all();
    writer.thread.join();
}

bool writerRunning() {
    if (writer.started) return true;
    if (writer.unavailable) return false;
    try {
        writer.thread = std::thread(writerLoop);
    } catch (const std::system_error&) {
        writer.unavailable = true;
        return false;
    }
    writer.started = true;
    std::atexit(stopWriter);
    return true;
}

}  // namespace

void finishFrames() {
    std::unique_lock<std::mutex> lock(writer.gate);
    writer.changed.wait(lock, [] { return !writer.pending; });
}

bool writeFrame(const char* path) {
    finishFrames();  // frameImage may still be the writer's
    // morphImage is bottom row first, the writer wants the top row first.
    reverseRows(images.morphImage, images.frameImage);
    return writeFrameImage(path);
}

void queueFrame(const char* path) {
    finishFrames();
    const size_t length = std::strlen(path);
    if (length >= writer.path.size() || !writerRunning()) {
        writeFrame(path);
        return;
    }
    reverseRows(images.morphImage, images.frameImage);
    std::memcpy(writer.path.data(), path, length + 1);
    {
        std::lock_guard<std::mutex> hold(writer.gate);
        writer.pending = true;
    }
    writer.changed.notify_all();
}

}  // namespace mw
