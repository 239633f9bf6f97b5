// export.h -- the animation of key A and the writing of its frames as BMP files
// into numbered sequence directories.
//
// Threads: the animation runs on the event thread, one step per display pass.
// Each step's frame goes to the frame writer, a worker thread of its own
// (morph/workers.h): the event thread turns the picture's rows into frameImage and
// hands it over with the path; the writer encodes, writes, syncs and renames the
// file while the next step composes. frameImage and the path are the writer's
// until it has finished: the next hand-over, and every other use of frameImage,
// waits for it first (finishFrames). The writer reads nothing else of the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mw {

// Key A while idle: next sequence number, morphT back to 0, a fresh empty
// "IMAGE_SEQUENCE_<n>" directory, animation running.
void startAnimation();
// One step per display pass while the animation runs: morphT + 0.01 (clamped to
// 1, which ends the animation), recompose, hand the frame to the frame writer;
// the step that ends the animation returns once its frame is written.
void advanceAnimation();

// Writes morphImage (bottom row first) to `path` as a 256 x 293 24-bit BMP, the
// bytes SOIL_save_image would write, on the calling thread; the rows are turned
// into frameImage on the way. The file appears under `path` only whole (written as
// `path`.part, synced, renamed); on any failure nothing is left, and one line on
// stderr gives the path and the reason.
bool writeFrame(const char* path);
// The animation's way: the rows are turned into frameImage and handed to the frame
// writer, which writes them to `path` as writeFrame does while the next step
// composes; its thread is started with the first frame. One frame at a time: waits
// first for the one before.
void queueFrame(const char* path);
// Returns once every frame handed over is written or reported.
void finishFrames();

// Writes `size` bytes to `path` whole or not at all: into `path`.part beside it,
// every write checked, synced to the disk, its size checked, then renamed over
// `path`. Returns an empty text, or the reason; nothing new is left then.
std::string writeFileWhole(const char* path, const uint8_t* bytes, size_t size);

// The directory layer: no shell, and symbolic links are never followed.
// Removes `name` if it is a directory (with everything in it) or a symbolic link
// (the link only); anything else stays and is reported. Returns true when nothing
// of that name is left.
bool removeSequenceDirectory(const char* name);
// Creates the directory `name` relative to the working directory. Returns true
// when a real directory of that name exists afterwards; reports and returns false
// otherwise.
bool createSequenceDirectory(const char* name);

}  // namespace mw
