// animation.cpp -- key A's animation: morphT runs from 0.01 to 1 in steps of 0.01,
// one step per display pass, and every step's morph picture is written as
// "IMAGE_SEQUENCE_<n>/img_seq_<morphT>.BMP".
#include <SOIL/SOIL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/state.h"
#include "export/export.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace mw {

// The frame writer always gets 3 bytes per pixel, whatever the right picture
// decoded to: frameImage is built from morphImage, which has 3.
constexpr int kFrameChannels = 3;

// Formats into sequencePath; false (and a message) if the text did not fit.
template <typename... Args>
static bool formatSequencePath(const char* format, Args... args) {
    const int length =
        std::snprintf(state.sequencePath.data(), state.sequencePath.size(), format, args...);
    if (length >= 0 && static_cast<size_t>(length) < state.sequencePath.size()) return true;
    std::fprintf(stderr, "name too long for the sequence path: %s\n", state.sequencePath.data());
    return false;
}

// Called by the keyboard handler for key A while no animation runs.
void startAnimation() {
    state.imageSequenceNumber += 1;
    state.morphT = 0.0f;
    if (formatSequencePath("IMAGE_SEQUENCE_%d", state.imageSequenceNumber)) {
        // A failed removal leaves the old directory; creation then reuses it or
        // reports why it cannot. Either way the animation runs, and frames that
        // cannot be written are reported one by one.
        removeSequenceDirectory(state.sequencePath.data());
        createSequenceDirectory(state.sequencePath.data());
    }
    state.animationRunning = true;
}

namespace {

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

}  // namespace

bool writeFrame(const char* path) {
    // morphImage is bottom row first, the writer wants the top row first.
    reverseRows(images.morphImage, images.frameImage);

    // The frame appears under its name only whole: it is written under a
    // temporary name beside it and renamed once complete.
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

// Called by the display pass while animationRunning is set, before the
// intermediate bank is rebuilt: the composition therefore warps towards the net
// of the previous step. Its redisplay request drives the next step.
void advanceAnimation() {
    // The sum is formed in double and stored as float, so the names run
    // 0.830000, 0.839999, ... 0.999999 before the clamp to exactly 1.
    state.morphT = static_cast<float>(static_cast<double>(state.morphT) + kAnimationStep);
    if (state.morphT >= 1.0) {
        state.morphT = 1.0f;
        state.animationRunning = false;  // this last step still writes its frame
    }
    composeMorph();
    if (!state.exportFrames) return;
    if (!formatSequencePath("IMAGE_SEQUENCE_%d/img_seq_%f.BMP", state.imageSequenceNumber,
                            static_cast<double>(state.morphT)))
        return;
    writeFrame(state.sequencePath.data());
}

}  // namespace mw
