// images.cpp -- pictures and textures.
#include "panels/panels.h"

namespace mw {

ImageBuffers images;

bool loadImages() { return false; }
GLuint loadImageTexture(int, const char*) { return 0; }
void deleteTexture(GLuint) {}
void resamplePicture(const uint8_t*, int, int, WorkImage&) {}
void reverseRows(WorkImage&) {}
void drawImageQuads() {}

}  // namespace mw
