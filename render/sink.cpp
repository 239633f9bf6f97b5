// sink.cpp -- where the renderer's frames go: PNG files written whole by libpng's
// encoder, or raw RGB piped into ffmpeg, whose video is put under its name only
// once ffmpeg has finished it. A worker thread writes each frame while the next
// one composes.
#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "export/export.h"
#include "morph/workers.h"
#include "render/render.h"

extern char** environ;

namespace mw {

namespace fs = std::filesystem;

namespace {

// Fast compression: a frame of a morph is smooth, so little is lost against the
// best level, and a frame encodes in a fraction of the time (BENCHMARKS.md).
constexpr int kPngCompressionLevel = 1;

// The last line ffmpeg wrote to its error stream names the failure.
constexpr size_t kErrorTailBytes = 4096;

struct PngOutput {
    std::vector<uint8_t>* bytes;
    char message[200];
};

void pngAppend(png_structp png, png_bytep data, size_t length) {
    auto& out = *static_cast<PngOutput*>(png_get_io_ptr(png));
    out.bytes->insert(out.bytes->end(), data, data + length);
}

void pngFlush(png_structp) {}

[[noreturn]] void pngError(png_structp png, png_const_charp message) {
    auto& out = *static_cast<PngOutput*>(png_get_error_ptr(png));
    std::snprintf(out.message, sizeof out.message, "PNG encoder: %s", message);
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by jumping back here: nothing with a destructor lives in
// this function.
bool encodeRows(png_structp png, png_infop info, png_bytep* rows, int width, int height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, kPngCompressionLevel);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

// The PNG file of a picture (top row first, RGB) into `bytes`. Returns an empty
// text or the reason.
std::string encodePng(const uint8_t* pixels, int width, int height, std::vector<uint8_t>& bytes) {
    bytes.clear();
    PngOutput out{&bytes, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, pngError, pngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(pixels + static_cast<size_t>(y) * width * 3);
    const bool created = info != nullptr;
    bool ok = false;
    if (created) {
        png_set_write_fn(png, &out, pngAppend, pngFlush);
        ok = encodeRows(png, info, rows.data(), width, height);
    }
    png_destroy_write_struct(&png, &info);
    if (!created) return "out of memory";
    return ok ? "" : out.message;
}

// Writes all of `bytes` to the pipe; an empty text, or the reason.
std::string writeAll(int fd, const uint8_t* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? std::strerror(errno) : "nothing written";
        done += static_cast<size_t>(n);
    }
    return "";
}

// The arguments that make ffmpeg turn raw RGB frames into a video of `format`.
std::vector<std::string> ffmpegArguments(const std::string& format, int width, int height, int fps,
                                         const std::string& output) {
    std::vector<std::string> args = {
        "ffmpeg",      "-hide_banner",
        "-loglevel",   "error",
        "-f",          "rawvideo",
        "-pix_fmt",    "rgb24",
        "-video_size", std::to_string(width) + "x" + std::to_string(height),
        "-framerate",  std::to_string(fps),
        "-i",          "pipe:0"};
    if (format == "mp4") {
        // H.264 in 4:2:0 needs even sides: one black row or column is added if not.
        args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libx264",
                                 "-pix_fmt", "yuv420p", "-movflags", "+faststart"});
    } else if (format == "webm") {
        args.insert(args.end(), {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2", "-c:v", "libvpx-vp9",
                                 "-pix_fmt", "yuv420p", "-crf", "32", "-b:v", "0", "-row-mt", "1"});
    } else {
        args.insert(args.end(), {"-vf", "split[a][b];[a]palettegen[p];[b][p]paletteuse"});
    }
    args.insert(args.end(), {"-f", format, "-y", output});
    return args;
}

}  // namespace

std::string videoFormatOf(const std::string& path) {
    const std::string extension = fs::path(path).extension().string();
    for (const char* format : {"mp4", "webm", "gif"})
        if (extension == std::string(".") + format) return format;
    return "";
}

struct FrameSink {
    int width = 0, height = 0, frames = 0, digits = 1;
    std::string directory;                 // PNG frames
    std::string video, temporary, format;  // a video and where ffmpeg writes it
    std::vector<uint8_t> pixels;           // the frame being written, top row first
    std::vector<uint8_t> encoded;          // its PNG file
    int index = 0;                         // the frame being written
    bool failed = false;                   // a frame could not be written
    bool pipeBroken = false;               // ffmpeg stopped taking frames
    pid_t ffmpeg = -1;
    int pipe = -1;           // ffmpeg's input
    FILE* errors = nullptr;  // ffmpeg's error stream
};

namespace {

// The sink's writer: while it writes, the frame's pixels and index are its own.
Worker writer;

std::string framePath(const FrameSink& sink, int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%0*d.png", sink.digits, index);
    return (fs::path(sink.directory) / name).string();
}

void writeFrame(FrameSink& sink) {
    if (sink.failed) return;
    std::string reason;
    if (sink.pipe >= 0) {
        // ffmpeg stops taking frames only when it fails, and its error stream then
        // says why (closeFrameSink reports it).
        sink.pipeBroken = !writeAll(sink.pipe, sink.pixels.data(), sink.pixels.size()).empty();
        sink.failed = sink.pipeBroken;
        return;
    }
    const std::string path = framePath(sink, sink.index);
    reason = encodePng(sink.pixels.data(), sink.width, sink.height, sink.encoded);
    if (reason.empty())
        reason = writeFileWhole(path.c_str(), sink.encoded.data(), sink.encoded.size());
    if (reason.empty()) return;
    std::fprintf(stderr, "cannot write frame %s: %s\n", path.c_str(), reason.c_str());
    sink.failed = true;
}

void writeHandedFrame(const void* context, int) {
    writeFrame(*static_cast<FrameSink*>(const_cast<void*>(context)));
}

// Where ffmpeg is found on the PATH, or empty.
std::string findOnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string list = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string directory = end > start ? list.substr(start, end - start) : ".";
        const std::string candidate = directory + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

bool refuse(const std::string& what, const std::string& reason) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(), reason.c_str());
    return false;
}

// A directory for the frames: made if missing; refused when it holds anything and
// force is not given.
bool makeDirectory(const std::string& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return true;
    fs::create_directories(dir, ec);
    if (ec) return refuse("cannot create directory " + dir, ec.message());
    return true;
}

bool startFfmpeg(FrameSink& sink, const RenderOptions& options) {
    const std::string ffmpeg = findOnPath("ffmpeg");
    sink.errors = std::tmpfile();
    int ends[2];
    if (sink.errors == nullptr || pipe2(ends, O_CLOEXEC) != 0)
        return refuse("cannot start ffmpeg", std::strerror(errno));
    const std::vector<std::string> args =
        ffmpegArguments(sink.format, sink.width, sink.height, options.fps, sink.temporary);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(sink.errors), STDERR_FILENO);
    const int spawned =
        posix_spawn(&sink.ffmpeg, ffmpeg.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
    if (spawned != 0) {
        close(ends[1]);
        return refuse("cannot start " + ffmpeg, std::strerror(spawned));
    }
    sink.pipe = ends[1];
    return true;
}

// The last line ffmpeg wrote to its error stream.
std::string ffmpegReason(FrameSink& sink) {
    std::string text;
    if (sink.errors != nullptr) {
        std::fflush(sink.errors);
        const long size = std::ftell(sink.errors);
        const long from = size > static_cast<long>(kErrorTailBytes) ? size - kErrorTailBytes : 0;
        std::fseek(sink.errors, from, SEEK_SET);
        char buffer[kErrorTailBytes + 1];
        const size_t got = std::fread(buffer, 1, kErrorTailBytes, sink.errors);
        text.assign(buffer, got);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    const size_t line = text.find_last_of('\n');
    if (line != std::string::npos) text = text.substr(line + 1);
    return text.empty() ? "ffmpeg failed" : text;
}

// ffmpeg's end: its input closed, its exit awaited; the video is synced and put
// under its name when ffmpeg succeeded and every frame went in.
bool finishVideo(FrameSink& sink, bool complete) {
    if (sink.pipe >= 0) close(sink.pipe);
    sink.pipe = -1;
    int status = 0;
    while (waitpid(sink.ffmpeg, &status, 0) < 0 && errno == EINTR) {
    }
    const bool exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    bool ok = complete && !sink.failed;
    if (sink.pipeBroken || (ok && !exited)) {
        std::fprintf(stderr, "cannot write video %s: %s\n", sink.video.c_str(),
                     ffmpegReason(sink).c_str());
        ok = false;
    }
    if (ok) {
        const int fd = open(sink.temporary.c_str(), O_RDONLY | O_CLOEXEC);
        std::string reason;
        if (fd < 0 || fsync(fd) != 0) reason = std::strerror(errno);
        if (fd >= 0) close(fd);
        if (reason.empty() && rename(sink.temporary.c_str(), sink.video.c_str()) != 0)
            reason = std::strerror(errno);
        if (!reason.empty()) {
            std::fprintf(stderr, "cannot write video %s: %s\n", sink.video.c_str(), reason.c_str());
            ok = false;
        }
    }
    if (!ok) unlink(sink.temporary.c_str());
    if (sink.errors != nullptr) std::fclose(sink.errors);
    sink.errors = nullptr;
    return ok;
}

}  // namespace

bool outputUsable(const RenderOptions& options) {
    std::error_code ec;
    const std::string& out = options.out;
    const fs::file_status status = fs::status(out, ec);
    const bool exists = status.type() != fs::file_type::not_found;
    if (!videoFormatOf(out).empty()) {
        if (findOnPath("ffmpeg").empty())
            return refuse("cannot write video " + out,
                          "ffmpeg is not on the PATH (install it, or give --out a directory for "
                          "PNG frames)");
        if (exists && !options.force)
            return refuse("will not write " + out, "the file exists (--force replaces it)");
        return true;
    }
    if (!exists) return true;
    if (ec) return refuse("cannot use " + out, ec.message());
    if (status.type() != fs::file_type::directory)
        return refuse("cannot write frames into " + out, "not a directory");
    if (!options.force && !fs::is_empty(out, ec))
        return refuse("will not write into " + out,
                      "the directory is not empty (--force writes into it)");
    return true;
}

FrameSink* openFrameSink(const RenderOptions& options, int width, int height) {
    auto* sink = new FrameSink;
    sink->width = width;
    sink->height = height;
    sink->frames = options.frames;
    sink->digits = static_cast<int>(std::to_string(options.frames).size());
    sink->pixels.resize(static_cast<size_t>(width) * height * 3);
    sink->format = videoFormatOf(options.out);
    bool ready;
    if (sink->format.empty()) {
        sink->directory = options.out;
        ready = makeDirectory(options.out);
    } else {
        sink->video = options.out;
        sink->temporary = options.out + ".part";
        ready = startFfmpeg(*sink, options);
    }
    if (!ready) {
        if (sink->errors != nullptr) std::fclose(sink->errors);
        delete sink;
        return nullptr;
    }
    return sink;
}

uint8_t* framePixels(FrameSink& sink) {
    return sink.pixels.data();
}

bool frameDone(FrameSink& sink) {
    waitForWorker(writer);
    return !sink.failed;
}

void handFrame(FrameSink& sink, int index) {
    sink.index = index;
    if (startWorkerThread(writer))
        handOver(writer, writeHandedFrame, &sink, 0);
    else
        writeFrame(sink);
}

bool closeFrameSink(FrameSink* sink, bool complete) {
    waitForWorker(writer);
    bool ok = !sink->failed && complete;
    if (sink->ffmpeg > 0) ok = finishVideo(*sink, complete) && ok;
    delete sink;
    return ok;
}

}  // namespace mw
