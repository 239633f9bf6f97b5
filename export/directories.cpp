// directories.cpp -- the directory layer of the image-sequence export: removing an
// earlier sequence directory and creating a fresh one, with std::filesystem only.
// Symbolic links are never followed; failures go to stderr, one line each, with
// the path and the reason.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "export/export.h"

namespace mw {

namespace fs = std::filesystem;

static void reportFailure(const char* action, const char* name, const std::string& reason) {
    std::fprintf(stderr, "%s %s: %s\n", action, name, reason.c_str());
}

bool removeSequenceDirectory(const char* name) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(name, ec);
    switch (status.type()) {
        case fs::file_type::not_found:
            return true;  // nothing to remove
        case fs::file_type::none:
            reportFailure("cannot remove", name, ec.message());
            return false;
        case fs::file_type::directory:
            // remove_all takes symbolic links inside the tree as links: it
            // removes them without descending into their targets.
            fs::remove_all(name, ec);
            break;
        case fs::file_type::symlink:
            fs::remove(name, ec);  // the link only, never its target
            break;
        default:
            reportFailure("left in place", name, "not a directory");
            return false;
    }
    if (ec) {
        reportFailure("cannot remove", name, ec.message());
        return false;
    }
    return true;
}

bool createSequenceDirectory(const char* name) {
    std::error_code ec;
    const bool created = fs::create_directory(name, ec);
    if (ec) {
        reportFailure("cannot create directory", name, ec.message());
        return false;
    }
    if (created) return true;
    // Something of that name was already there; it will do only when it is a
    // real directory, not a link that would send the frames elsewhere.
    if (fs::symlink_status(name, ec).type() == fs::file_type::directory) return true;
    reportFailure("cannot create directory", name, "exists and is not a directory");
    return false;
}

}  // namespace mw
