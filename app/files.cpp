// files.cpp -- the files the command line names and Ctrl+S writes: the pictures'
// paths and the net file read at start-up, and the net saved by Ctrl+S.
#include <sys/stat.h>

#include <cstdio>

#include "app/shell.h"
#include "app/state.h"
#include "curves/curves.h"
#include "panels/panels.h"

namespace mw {

namespace {

constexpr int kNetNames = 10000;  // morph.json, morph-2.json, ... morph-10000.json

// Copies path into a buffer of the program state. Returns false when it does not
// fit: a path is never cut short.
bool putPath(std::array<char, kPathBytes>& buffer, const std::string& path) {
    if (path.size() >= buffer.size()) return false;
    std::snprintf(buffer.data(), buffer.size(), "%s", path.c_str());
    return true;
}

// The first of morph.json, morph-2.json, ... that names nothing, or the one that
// could not be looked at (its save then fails with the reason).
std::string firstFreeNetName() {
    std::string name;
    for (int k = 1; k <= kNetNames; ++k) {
        name = k == 1 ? "morph.json" : "morph-" + std::to_string(k) + ".json";
        struct stat info {};
        if (lstat(name.c_str(), &info) != 0) return name;
    }
    return name;
}

}  // namespace

bool readStartFiles(const CommandLine& line, NetFile& net) {
    if (!line.netFile.empty()) {
        const std::string reason = readNetFile(line.netFile.c_str(), net);
        if (!reason.empty()) {
            std::fprintf(stderr, "cannot read net file %s: %s\n", line.netFile.c_str(),
                         reason.c_str());
            return false;
        }
    }
    // A net file's path fits: the system opened it. A picture's may not, when it is
    // named on the command line or joined to the net file's folder.
    const std::string& left = line.netFile.empty() ? line.leftPicture : net.left.path;
    const std::string& right = line.netFile.empty() ? line.rightPicture : net.right.path;
    for (const auto& [buffer, path] :
         {std::pair{&state.leftImagePath, &left}, std::pair{&state.rightImagePath, &right}}) {
        if (putPath(*buffer, *path)) continue;
        std::fprintf(stderr, "cannot load picture %s: path longer than %d bytes\n", path->c_str(),
                     kPathBytes - 1);
        return false;
    }
    return true;
}

void useNetFile(const NetFile& net, const std::string& path) {
    putNetIntoStore(net);
    for (int c = 0; c < store.curveCount; ++c) deriveCurve(c, false);
    clearHistory();
    putPath(state.netPath, path);
}

void saveNet() {
    NetFile net = netFromStore();
    net.left = {state.leftImagePath.data(), images.leftFileWidth, images.leftFileHeight};
    net.right = {state.rightImagePath.data(), images.rightFileWidth, images.rightFileHeight};
    // Only a file this run opened or created is written over.
    const bool ours = state.netPath[0] != '\0';
    const std::string path = ours ? std::string(state.netPath.data()) : firstFreeNetName();
    const std::string reason = writeNetFile(path, net, ours);
    if (!reason.empty()) {
        std::fprintf(stderr, "cannot save net %s: %s\n", path.c_str(), reason.c_str());
        return;
    }
    putPath(state.netPath, path);
    std::printf("net saved to %s\n", path.c_str());
    std::fflush(stdout);
}

}  // namespace mw
