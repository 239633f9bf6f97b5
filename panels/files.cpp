// files.cpp -- reading a whole file that the program was given: a picture or a net
// file, each with its own size limit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "panels/panels.h"

namespace mw {

// Opened without blocking and checked for a regular file before reading, so a FIFO
// or a device in its place cannot stall the program.
std::string readRegularFile(const char* path, long long maxBytes, std::vector<uint8_t>& bytes) {
    bytes.clear();
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    struct stat info {};
    if (fstat(fd, &info) != 0) return std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return "is a directory";
    if (!S_ISREG(info.st_mode)) return "not a regular file";
    if (info.st_size > maxBytes) return "file larger than " + std::to_string(maxBytes >> 20) + " MiB";
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return "file shrank while being read";
        done += static_cast<size_t>(n);
    }
    return "";
}

}  // namespace mw
