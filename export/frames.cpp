// frames.cpp -- the animation's frames as BMP files: the bytes of each file are
// made from frameImage, written under a temporary name, checked, synced and put
// under the frame's name only whole. During an animation the frame writer, a
// worker thread of its own, writes each frame while the next step composes.
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
#include "morph/workers.h"
#include "panels/panels.h"

namespace mw {

namespace {

// The frame's file, as SOIL_save_image writes a BMP: a 14-byte file header and a
// 40-byte information header, then the rows bottom-up, each pixel blue, green,
// red. Rows of 768 bytes need no padding to a multiple of four.
constexpr int kHeaderBytes = 54;
constexpr int kInfoHeaderBytes = 40;
constexpr int kBitsPerPixel = 24;
constexpr size_t kFrameFileBytes = kHeaderBytes + kWorkBytes;  // 225,078
static_assert(kWorkRowBytes % 4 == 0);

std::array<uint8_t, kFrameFileBytes> frameFile;

void putLittleEndian(uint8_t* at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// frameImage (top row first, RGB) into frameFile.
void encodeFrame() {
    uint8_t* h = frameFile.data();
    std::memset(h, 0, kHeaderBytes);
    h[0] = 'B';
    h[1] = 'M';
    putLittleEndian(h + 2, kFrameFileBytes, 4);
    putLittleEndian(h + 10, kHeaderBytes, 4);  // where the pixels start
    putLittleEndian(h + 14, kInfoHeaderBytes, 4);
    putLittleEndian(h + 18, kWorkWidth, 4);
    putLittleEndian(h + 22, kWorkHeight, 4);  // positive: the rows are bottom-up
    putLittleEndian(h + 26, 1, 2);            // one colour plane
    putLittleEndian(h + 28, kBitsPerPixel, 2);
    // No compression, no image size given, no resolution, no palette: zeros.
    for (int row = 0; row < kWorkHeight; ++row) {
        const uint8_t* from = images.frameImage.data() + (kWorkHeight - 1 - row) * kWorkRowBytes;
        uint8_t* to = frameFile.data() + kHeaderBytes + row * kWorkRowBytes;
        for (int x = 0; x < kWorkRowBytes; x += 3) {
            to[x] = from[x + 2];
            to[x + 1] = from[x + 1];
            to[x + 2] = from[x];
        }
    }
}

// Writes frameImage, top row first, to `path`: under a temporary name beside it,
// renamed once whole. Failures leave nothing and are reported.
bool writeFrameImage(const char* path) {
    encodeFrame();
    const std::string reason = writeFileWhole(path, frameFile.data(), frameFile.size());
    if (reason.empty()) return true;
    std::fprintf(stderr, "cannot write frame %s: %s\n", path, reason.c_str());
    return false;
}

// The frame writer. While it writes, frameImage and writerPath are its own: the
// event thread waits for it before it touches either again.
Worker writer;
decltype(ProgramState::sequencePath) writerPath{};

void writeHandedFrame(const void*, int) {
    writeFrameImage(writerPath.data());
}

}  // namespace

std::string writeFileWhole(const char* path, const uint8_t* bytes, size_t size) {
    const std::string temporary = std::string(path) + ".part";
    const int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return std::strerror(errno);
    // Every call is checked: a short write is followed by one that fails with the
    // reason (no space, file too large, I/O error).
    std::string reason;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
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
    if (reason.empty() && written.st_size != static_cast<off_t>(size))
        reason = "file holds " + std::to_string(written.st_size) + " bytes, not " +
                 std::to_string(size);
    if (close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && rename(temporary.c_str(), path) != 0) reason = std::strerror(errno);
    if (!reason.empty()) unlink(temporary.c_str());
    return reason;
}

void finishFrames() {
    waitForWorker(writer);
}

bool writeFrame(const char* path) {
    finishFrames();  // frameImage may still be the writer's
    // morphImage is bottom row first, the file's encoding starts from the top row.
    reverseRows(images.morphImage, images.frameImage);
    return writeFrameImage(path);
}

void queueFrame(const char* path) {
    finishFrames();
    const size_t length = std::strlen(path);
    if (length >= writerPath.size() || !startWorkerThread(writer)) {
        writeFrame(path);
        return;
    }
    reverseRows(images.morphImage, images.frameImage);
    std::memcpy(writerPath.data(), path, length + 1);
    handOver(writer, writeHandedFrame, nullptr, 0);
}

}  // namespace mw
