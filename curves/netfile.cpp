// netfile.cpp -- net files: the two pictures and both nets as JSON. Reading checks
// every field before anything changes; writing goes through a temporary file that
// is synced and then renamed, so a net file is whole or as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

#include "curves/curves.h"
#include "panels/panels.h"

namespace mw {

namespace {

// Numbers are floats: each is written as the shortest text that reads back to the
// same float, with a decimal point whatever the locale, and read back the same way.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t,
                                  std::uint64_t, float>;

// A net file's values lie at most this deep (document, nets, net, list, curve,
// points, point, number); deeper text is refused before it is built.
constexpr int kMaxDepth = 8;
constexpr int kTemporaryNames = 100;  // tries at a free temporary name beside the file

struct TooDeep {};

// What reading has found wrong so far; the first reason stands.
struct Reading {
    std::string reason;
    bool fail(const std::string& where, const std::string& what) {
        reason = where + ": " + what;
        return false;
    }
};

// nlohmann's messages without their "[json.exception.parse_error.101] " prefix.
std::string plain(const char* what) {
    const char* end = std::strstr(what, "] ");
    return end ? end + 2 : what;
}

std::string described(const Json& j) {
    if (j.is_number()) return "a number";
    if (j.is_string()) return "a string";
    if (j.is_array()) return "a list";
    if (j.is_object()) return "an object";
    if (j.is_boolean()) return "true or false";
    return "null";
}

const Json* member(Reading& r, const Json& object, const std::string& where, const char* key) {
    const auto it = object.find(key);
    if (it != object.end()) return &*it;
    r.fail(where, std::string("\"") + key + "\" is missing");
    return nullptr;
}

bool readNumber(Reading& r, const Json& j, const std::string& where, float& out) {
    if (!j.is_number()) return r.fail(where, "a number was expected, not " + described(j));
    out = j.get<float>();
    if (!std::isfinite(out)) return r.fail(where, "not a finite number");
    return true;
}

bool readPair(Reading& r, const Json& j, const std::string& where, float& x, float& y) {
    if (!j.is_array() || j.size() != 2) return r.fail(where, "[x, y] was expected");
    return readNumber(r, j[0], where + "[0]", x) && readNumber(r, j[1], where + "[1]", y);
}

bool readPoint(Reading& r, const Json& j, const std::string& where, NetPoint& p) {
    if (!j.is_array() || (j.size() != 2 && j.size() != 4))
        return r.fail(where,
                      "a point is [x, y], or [x, y, tangent x, tangent y] when its tangent was "
                      "set by hand");
    if (!readNumber(r, j[0], where + "[0]", p.x) || !readNumber(r, j[1], where + "[1]", p.y))
        return false;
    p.tangentSet = j.size() == 4;
    return !p.tangentSet || (readNumber(r, j[2], where + "[2]", p.tangentX) &&
                             readNumber(r, j[3], where + "[3]", p.tangentY));
}

bool readCurve(Reading& r, const Json& j, const std::string& where, NetCurve& curve) {
    if (!j.is_object()) return r.fail(where, "a curve is an object with \"points\"");
    const Json* points = member(r, j, where, "points");
    if (!points) return false;
    if (!points->is_array())
        return r.fail(where + ".points", "a list was expected, not " + described(*points));
    if (points->size() > kMaxPointsPerCurve)
        return r.fail(where + ".points", std::to_string(points->size()) +
                                             " points: a curve holds at most " +
                                             std::to_string(kMaxPointsPerCurve));
    curve.points.resize(points->size());
    for (size_t k = 0; k < points->size(); ++k)
        if (!readPoint(r, (*points)[k], where + ".points[" + std::to_string(k) + "]",
                       curve.points[k]))
            return false;
    const auto lead = j.find("lead");
    curve.hasLead = lead != j.end();
    return !curve.hasLead || readPair(r, *lead, where + ".lead", curve.leadX, curve.leadY);
}

bool readCurves(Reading& r, const Json& net, const std::string& where, const char* kind,
                std::vector<NetCurve>& curves) {
    const Json* list = member(r, net, where, kind);
    if (!list) return false;
    const std::string at = where + "." + kind;
    if (!list->is_array())
        return r.fail(at, "a list of curves was expected, not " + described(*list));
    for (size_t k = 0; k < list->size(); ++k) {
        curves.emplace_back();
        if (!readCurve(r, (*list)[k], at + "[" + std::to_string(k) + "]", curves.back()))
            return false;
    }
    return true;
}

// One net: its vertical curves, then its horizontal ones, as the store numbers them.
bool readNet(Reading& r, const Json& nets, const char* side, std::vector<NetCurve>& curves,
             int& verticalCount) {
    const std::string where = std::string("nets.") + side;
    const Json* net = member(r, nets, "nets", side);
    if (!net) return false;
    if (!net->is_object())
        return r.fail(where, "an object with \"vertical\" and \"horizontal\" was expected");
    if (!readCurves(r, *net, where, "vertical", curves)) return false;
    verticalCount = static_cast<int>(curves.size());
    if (!readCurves(r, *net, where, "horizontal", curves)) return false;
    const int total = static_cast<int>(curves.size());
    if (total > kMaxCurvesPerBank)
        return r.fail(where, std::to_string(total) + " curves: a net holds at most " +
                                 std::to_string(kMaxCurvesPerBank) +
                                 ", the current curve included");
    if (verticalCount != total / 2)
        return r.fail(where, std::to_string(verticalCount) + " vertical and " +
                                 std::to_string(total - verticalCount) +
                                 " horizontal curves: the first half of a net's curves (rounded "
                                 "down) are its vertical ones, so it needs as many horizontal "
                                 "curves as vertical ones, or one more");
    return true;
}

std::string curveName(size_t k, int verticalCount) {
    const size_t vertical = static_cast<size_t>(verticalCount);
    return k < vertical ? "vertical[" + std::to_string(k) + "]"
                        : "horizontal[" + std::to_string(k - vertical) + "]";
}

// The right net pairs curve for curve and point for point with the left one (the
// same number of curves gives the same number of vertical ones).
bool checkPairs(Reading& r, const NetFile& net) {
    const size_t curves = net.leftNet.size();
    if (net.rightNet.size() != curves)
        return r.fail("nets.right", std::to_string(net.rightNet.size()) +
                                        " curves, but nets.left has " + std::to_string(curves) +
                                        ": the nets pair curve for curve");
    for (size_t k = 0; k < curves; ++k) {
        const size_t left = net.leftNet[k].points.size(), right = net.rightNet[k].points.size();
        if (left != right)
            return r.fail("nets.right." + curveName(k, net.verticalCount),
                          std::to_string(right) + " points, but its partner in nets.left has " +
                              std::to_string(left) + ": the nets pair point for point");
    }
    return true;
}

// A picture's path is read as written; a relative one is taken from the folder of
// the net file.
bool readPicture(Reading& r, const Json& pictures, const char* side, const std::string& folder,
                 NetPicture& out) {
    const std::string where = std::string("pictures.") + side;
    const Json* picture = member(r, pictures, "pictures", side);
    if (!picture) return false;
    if (!picture->is_object()) return r.fail(where, "an object with \"path\" was expected");
    const Json* path = member(r, *picture, where, "path");
    if (!path) return false;
    if (!path->is_string() || path->get_ref<const std::string&>().empty())
        return r.fail(where + ".path", "the picture's file name was expected");
    const std::string& written = path->get_ref<const std::string&>();
    if (written.find('\0') != std::string::npos)
        return r.fail(where + ".path", "a file name holds no NUL character");
    const std::filesystem::path name(written);
    out.path = name.is_absolute() || folder.empty() ? written : (folder / name).string();
    // The size is for information; when given, it is a whole number of pixels.
    const auto readSize = [&](const char* key, int& size) {
        const auto it = picture->find(key);
        if (it == picture->end()) return true;
        if (!it->is_number_integer() || it->get<int64_t>() < 0 ||
            it->get<int64_t>() > std::numeric_limits<int>::max())
            return r.fail(where + "." + key, "a size in pixels was expected");
        size = static_cast<int>(it->get<int64_t>());
        return true;
    };
    return readSize("width", out.width) && readSize("height", out.height);
}

bool readDocument(Reading& r, const Json& doc, const std::string& folder, NetFile& net) {
    if (!doc.is_object()) return r.fail("the file", "a JSON object was expected");
    const Json* format = member(r, doc, "the file", "format");
    if (!format) return false;
    if (!format->is_string() || format->get_ref<const std::string&>() != kNetFormat)
        return r.fail("format", std::string("not a net file of this program (\"") + kNetFormat +
                                    "\" was expected)");
    const Json* version = member(r, doc, "the file", "version");
    if (!version) return false;
    if (!version->is_number_integer() || version->get<int64_t>() != kNetVersion)
        return r.fail("version", "version " + version->dump() + " is not read by this program (" +
                                     std::to_string(kNetVersion) + " is)");
    const Json* pictures = member(r, doc, "the file", "pictures");
    if (!pictures) return false;
    if (!pictures->is_object())
        return r.fail("pictures", "an object with \"left\" and \"right\" was expected");
    if (!readPicture(r, *pictures, "left", folder, net.left) ||
        !readPicture(r, *pictures, "right", folder, net.right))
        return false;
    const Json* nets = member(r, doc, "the file", "nets");
    if (!nets) return false;
    if (!nets->is_object())
        return r.fail("nets", "an object with \"left\" and \"right\" was expected");
    int rightVertical = 0;
    return readNet(r, *nets, "left", net.leftNet, net.verticalCount) &&
           readNet(r, *nets, "right", net.rightNet, rightVertical) && checkPairs(r, net);
}

// Whether the picture at path is a regular file that can be opened for reading.
std::string pictureOpens(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    struct stat info {};
    std::string reason;
    if (fstat(fd, &info) != 0)
        reason = std::strerror(errno);
    else if (S_ISDIR(info.st_mode))
        reason = "is a directory";
    else if (!S_ISREG(info.st_mode))
        reason = "not a regular file";
    close(fd);
    return reason;
}

// --- Writing --------------------------------------------------------------------------

std::string number(float v) {
    return Json(v).dump();
}

// "[x, y]" (appended; string sums of this shape trip a false warning of GCC 12).
void appendPair(std::string& text, float x, float y) {
    text += '[';
    text += number(x);
    text += ", ";
    text += number(y);
    text += ']';
}

void appendPoint(std::string& text, const NetPoint& p) {
    appendPair(text, p.x, p.y);
    if (!p.tangentSet) return;
    text.pop_back();
    text += ", ";
    text += number(p.tangentX);
    text += ", ";
    text += number(p.tangentY);
    text += ']';
}

std::string curveText(const NetCurve& curve) {
    std::string text = "{\"points\": [";
    for (size_t k = 0; k < curve.points.size(); ++k) {
        if (k) text += ", ";
        appendPoint(text, curve.points[k]);
    }
    text += ']';
    if (curve.hasLead) {
        text += ", \"lead\": ";
        appendPair(text, curve.leadX, curve.leadY);
    }
    return text + "}";
}

// curves[first .. end) as the lines of one list, indented by `indent`.
std::string listText(const std::vector<NetCurve>& curves, size_t first, size_t end,
                     const std::string& indent) {
    if (first == end) return "[]";
    std::string text = "[\n";
    for (size_t k = first; k < end; ++k)
        text += indent + "  " + curveText(curves[k]) + (k + 1 < end ? ",\n" : "\n");
    return text + indent + "]";
}

std::string netText(const std::vector<NetCurve>& curves, int verticalCount) {
    const size_t vertical = static_cast<size_t>(verticalCount);
    return "{\n      \"vertical\": " + listText(curves, 0, vertical, "      ") +
           ",\n      \"horizontal\": " + listText(curves, vertical, curves.size(), "      ") +
           "\n    }";
}

// The picture's path as the file names it: from the net file's folder when the
// picture lies under it, else absolute. Paths are compared as written (no links
// are followed), both made absolute from the working directory.
std::string pathFromFolder(const std::string& picture, const std::string& netPath) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path absolutePicture = fs::absolute(picture, error).lexically_normal();
    if (error) return picture;
    const fs::path folder = fs::absolute(netPath, error).lexically_normal().parent_path();
    if (error) return picture;
    const fs::path relative = absolutePicture.lexically_relative(folder);
    if (!relative.empty() && *relative.begin() != "..") return relative.string();
    return absolutePicture.string();
}

std::string pictureText(const NetPicture& picture, const std::string& netPath) {
    std::string text = "{\"path\": " + Json(pathFromFolder(picture.path, netPath)).dump();
    if (picture.width > 0 && picture.height > 0)
        text += ", \"width\": " + std::to_string(picture.width) +
                ", \"height\": " + std::to_string(picture.height);
    return text + "}";
}

// Writes all of text to fd and syncs it. Returns an empty text, or the reason.
std::string writeAndSync(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return "nothing written";
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) return std::strerror(errno);
    return "";
}

// Puts the written temporary file at path, over what is there (replace) or only
// where nothing is. Returns an empty text, or the reason.
std::string putInPlace(const std::string& temporary, const std::string& path, bool replace) {
    if (replace) return rename(temporary.c_str(), path.c_str()) == 0 ? "" : std::strerror(errno);
    if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0)
        return "";
    if (errno != EINVAL && errno != ENOSYS) return std::strerror(errno);
    // A file system without the no-replace rename: a new link fails where a file is.
    if (link(temporary.c_str(), path.c_str()) != 0) return std::strerror(errno);
    unlink(temporary.c_str());
    return "";
}

// Syncs the folder of path, so the rename itself reaches the disk. Best effort: the
// file is in place whether or not the folder can be synced.
void syncFolder(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// Where a point's and a curve's floats sit in the store.
void putPoint(int c, int j, const NetPoint& p) {
    const int s = slotOf(c, j);
    store.controlPoints[s] = p.x;
    store.controlPoints[s + 1] = p.y;
    if (!p.tangentSet) return;
    store.tangents[s] = p.tangentX;
    store.tangents[s + 1] = p.tangentY;
    store.tangentSet[s] = 1;
}

void putCurve(int c, const NetCurve& curve) {
    store.pointCount[c] = static_cast<int32_t>(curve.points.size());
    for (size_t j = 0; j < curve.points.size(); ++j)
        putPoint(c, static_cast<int>(j), curve.points[j]);
    if (!curve.hasLead) return;
    store.controlPoints[slotOf(c, -1)] = curve.leadX;
    store.controlPoints[slotOf(c, -1) + 1] = curve.leadY;
}

NetCurve curveFromStore(int c) {
    NetCurve curve;
    const int n = std::clamp(store.pointCount[c], 0, kMaxPointsPerCurve);
    const auto setByHand = [&](int j) { return j < n && store.tangentSet[slotOf(c, j)] != 0; };
    for (int j = 0; j < n; ++j) {
        const int s = slotOf(c, j);
        NetPoint p{store.controlPoints[s], store.controlPoints[s + 1]};
        if (setByHand(j)) {
            p.tangentSet = true;
            p.tangentX = store.tangents[s];
            p.tangentY = store.tangents[s + 1];
        }
        curve.points.push_back(p);
    }
    // The drawing derives the leading phantom only when neither tangent is set.
    curve.hasLead = setByHand(0) || setByHand(1);
    if (curve.hasLead) {
        curve.leadX = store.controlPoints[slotOf(c, -1)];
        curve.leadY = store.controlPoints[slotOf(c, -1) + 1];
    }
    return curve;
}

}  // namespace

std::string parseNetText(std::string_view text, const std::string& folder, NetFile& net) {
    Json doc;
    try {
        const Json::parser_callback_t depthLimit = [](int depth, Json::parse_event_t, Json&) {
            if (depth > kMaxDepth) throw TooDeep{};
            return true;
        };
        doc = Json::parse(text.begin(), text.end(), depthLimit);
    } catch (const Json::parse_error& e) {
        return std::string("not JSON: ") + plain(e.what());
    } catch (const Json::exception& e) {
        return std::string("a number beyond the range of floats: ") + plain(e.what());
    } catch (const TooDeep&) {
        return "nested deeper than a net file is";
    }
    Reading r;
    NetFile read;
    if (!readDocument(r, doc, folder, read)) return r.reason;
    net = std::move(read);
    return "";
}

std::string readNetFile(const char* path, NetFile& net) {
    std::vector<uint8_t> bytes;
    std::string reason = readRegularFile(path, kMaxNetFileBytes, bytes);
    if (!reason.empty()) return reason;
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    NetFile read;
    reason = parseNetText(text, std::filesystem::path(path).parent_path().string(), read);
    if (!reason.empty()) return reason;
    reason = pictureOpens(read.left.path);
    if (!reason.empty()) return "left picture " + read.left.path + ": " + reason;
    reason = pictureOpens(read.right.path);
    if (!reason.empty()) return "right picture " + read.right.path + ": " + reason;
    net = std::move(read);
    return "";
}

NetFile netFromStore() {
    NetFile net;
    const int n = store.curveCount / 2;
    net.verticalCount = n / 2;
    for (int c = 0; c < n; ++c) {
        net.leftNet.push_back(curveFromStore(c));
        net.rightNet.push_back(curveFromStore(c + n));
    }
    return net;
}

void putNetIntoStore(const NetFile& net) {
    store.pointCount.fill(0);
    store.controlPoints.fill(0.0f);
    store.tangents.fill(0.0f);
    store.tangentSet.fill(0);
    // A net of no curves is the fresh store's: one empty current curve.
    const int n = std::max(1, static_cast<int>(net.leftNet.size()));
    store.curveCount = 2 * n;
    store.curveCursor = 2 * n - 1;
    for (size_t i = 0; i < net.leftNet.size(); ++i) {
        putCurve(static_cast<int>(i), net.leftNet[i]);
        putCurve(static_cast<int>(i) + n, net.rightNet[i]);
    }
}

std::string netFileText(const NetFile& net, const std::string& path, std::string& text) {
    try {
        text = std::string("{\n  \"format\": \"") + kNetFormat +
               "\",\n  \"version\": " + std::to_string(kNetVersion) +
               ",\n  \"pictures\": {\n    \"left\": " + pictureText(net.left, path) +
               ",\n    \"right\": " + pictureText(net.right, path) +
               "\n  },\n  \"nets\": {\n    \"left\": " + netText(net.leftNet, net.verticalCount) +
               ",\n    \"right\": " + netText(net.rightNet, net.verticalCount) + "\n  }\n}\n";
    } catch (const Json::exception&) {
        return "a picture's path is not UTF-8 text";
    }
    return "";
}

std::string writeNetFile(const std::string& path, const NetFile& net, bool replace) {
    std::string text;
    std::string reason = netFileText(net, path, text);
    if (!reason.empty()) return reason;

    // A temporary name of our own beside the file: nothing there is overwritten.
    std::string temporary;
    int fd = -1;
    for (int k = 1; k <= kTemporaryNames && fd < 0; ++k) {
        temporary = path + ".part" + (k > 1 ? std::to_string(k) : "");
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return std::strerror(errno);
    }
    if (fd < 0) return "no free temporary name beside it";
    reason = writeAndSync(fd, text);
    if (close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty()) reason = putInPlace(temporary, path, replace);
    if (!reason.empty()) {
        unlink(temporary.c_str());
        return reason;
    }
    syncFolder(path);
    return "";
}

}  // namespace mw
