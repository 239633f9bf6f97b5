// render.h -- the headless renderer: a net file's morph at the pictures' own
// resolution (or a size asked for), every frame a PNG file or piped to ffmpeg for a
// video. It needs no window and no display and calls neither GL nor GLUT.
//
// Threads: the calling thread owns the program state, the curve store and the
// frame; each composition runs on it and on the engine's helpers (morph.h); the
// frame sink (render/sink.cpp) writes each finished frame on a worker thread of its
// own while the next one composes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mw {

struct RenderOptions {
    std::string netPath;
    std::string out;  // a directory for PNG frames, or FILE.mp4, .webm or .gif
    int fps = 25;
    int width = 0, height = 0;  // 0: the left picture's own size, upright
    int frames = 101;           // frame i is the morph at t = i / (frames - 1)
    int quality = 3;            // a kQuality value
    bool roots = false;         // invert by the roots of the cubic, else by bisection
    int view = 3;               // a kView value
    int threads = 0;            // 0: every core
    bool force = false;         // write into a non-empty directory, or over a file
};

// Renders every frame. Returns 0 when every frame was written, 1 when an input or
// the output failed (one line on stderr with the path and the reason). Writes a
// progress line on stderr, rewritten in place, when stderr is a terminal.
int runRender(const RenderOptions& options);

// What a video of `path` is, told by its extension: "mp4", "webm" or "gif", or
// empty for a directory of PNG frames.
std::string videoFormatOf(const std::string& path);

// --- The frame sink (sink.cpp) -----------------------------------------------------

// Where finished frames go: PNG files frame_000.png, frame_001.png, ... (the number
// as wide as the frame count) in a directory, each written whole or not at all, or
// raw RGB into ffmpeg, whose video appears under its name only once complete.
struct FrameSink;

// Whether the output can be used before any work starts: ffmpeg is on the PATH for
// a video, and nothing would be overwritten without force. One line on stderr
// when not.
bool outputUsable(const RenderOptions& options);
// Opens the sink for frames of width x height. Returns nullptr after one line on
// stderr when the output cannot be used.
FrameSink* openFrameSink(const RenderOptions& options, int width, int height);
// The frame's pixels, top row first, 3 bytes a pixel, to be filled before handFrame.
// They belong to the sink's writer from handFrame until it has written them.
uint8_t* framePixels(FrameSink& sink);
// Waits until the writer is done with the previous frame; false (the reason
// already on stderr) when that frame, or any before it, failed.
bool frameDone(FrameSink& sink);
// Hands frame `index` to the writer, which writes it while the caller goes on.
void handFrame(FrameSink& sink, int index);
// Waits for the last frame and closes the output: for a video, ffmpeg must finish
// and its file is put under its name. Returns false (reason on stderr) when
// anything failed; the sink is freed either way.
bool closeFrameSink(FrameSink* sink, bool complete);

}  // namespace mw
