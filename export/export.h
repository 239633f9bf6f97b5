// export.h -- the animation of key A and the writing of its frames as BMP files
// into numbered sequence directories.
#pragma once

namespace mw {

// Key A while idle: next sequence number, morphT back to 0, a fresh empty
// "IMAGE_SEQUENCE_<n>" directory, animation running.
void startAnimation();
// One step per display pass while the animation runs: morphT + 0.01 (clamped to
// 1, which ends the animation), recompose, write the frame.
void advanceAnimation();

// The directory layer. Removes `name` if it is a directory (with everything in it)
// or a symbolic link (the link only); anything else stays and is reported. Returns
// true when nothing of that name is left.
bool removeSequenceDirectory(const char* name);
// Creates `name` in the working directory. Reports and returns false on failure.
bool createSequenceDirectory(const char* name);

}  // namespace mw
