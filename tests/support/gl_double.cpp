// gl_double.cpp -- the recording GL/GLU/GLUT double. Definitions carry the real
// headers' signatures, so the code under test links against them unchanged.
#include "tests/support/gl_double.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

#include <charconv>
#include <cstring>
#include <map>

namespace gldouble {

std::vector<Call> glLog;
bool recording = true;
TexImage lastTexImage;
int modifiers = 0;
Callbacks callbacks;
static GLuint nextTextureName = 1;

void reset() {
    glLog.clear();
    recording = true;
    lastTexImage = TexImage{};
    modifiers = 0;
    callbacks = Callbacks{};
    nextTextureName = 1;
}

std::vector<std::string> strings() {
    std::vector<std::string> out;
    for (const Call& c : glLog) out.push_back(c.str);
    return out;
}

std::vector<std::string> strings(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    for (const Call& c : glLog)
        for (const std::string& n : names)
            if (c.name == n) out.push_back(c.str);
    return out;
}

int count(const std::string& name) {
    int n = 0;
    for (const Call& c : glLog) n += c.name == name;
    return n;
}

std::vector<DrawnText> texts() {
    std::vector<DrawnText> out;
    bool open = false;
    for (const Call& c : glLog) {
        if (c.name == "glRasterPos3f") {
            out.push_back({c.args[0], c.args[1], c.args[2], ""});
            open = true;
        } else if (c.name == "glutBitmapCharacter" && open) {
            out.back().text += static_cast<char>(c.args[0]);
        }
    }
    return out;
}

namespace {

std::string number(double v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}
std::string number(float v) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}
std::string number(int v) { return std::to_string(v); }
std::string number(unsigned v) { return std::to_string(v); }

std::string enumName(GLenum e) {
    static const std::map<GLenum, const char*> names = {
        {GL_POINTS, "GL_POINTS"}, {GL_LINES, "GL_LINES"}, {GL_LINE_STRIP, "GL_LINE_STRIP"},
        {GL_QUADS, "GL_QUADS"}, {GL_TEXTURE_2D, "GL_TEXTURE_2D"},
        {GL_TEXTURE_ENV, "GL_TEXTURE_ENV"}, {GL_TEXTURE_ENV_MODE, "GL_TEXTURE_ENV_MODE"},
        {GL_REPLACE, "GL_REPLACE"}, {GL_TEXTURE_MIN_FILTER, "GL_TEXTURE_MIN_FILTER"},
        {GL_TEXTURE_MAG_FILTER, "GL_TEXTURE_MAG_FILTER"}, {GL_LINEAR, "GL_LINEAR"},
        {GL_TEXTURE_WRAP_S, "GL_TEXTURE_WRAP_S"}, {GL_TEXTURE_WRAP_T, "GL_TEXTURE_WRAP_T"},
        {GL_REPEAT, "GL_REPEAT"}, {GL_RGB, "GL_RGB"}, {GL_UNSIGNED_BYTE, "GL_UNSIGNED_BYTE"},
        {GL_FRONT_AND_BACK, "GL_FRONT_AND_BACK"}, {GL_FILL, "GL_FILL"}, {GL_LINE, "GL_LINE"},
        {GL_PROJECTION, "GL_PROJECTION"}, {GL_MODELVIEW, "GL_MODELVIEW"},
        {GL_COLOR_BUFFER_BIT, "GL_COLOR_BUFFER_BIT"},
    };
    auto it = names.find(e);
    return it != names.end() ? it->second : number(static_cast<unsigned>(e));
}

// Records one call: each argument is given as (printed form, numeric value).
struct Arg {
    std::string text;
    double value;
};
// Arguments are only formatted while recording: soak runs make millions of calls.
Arg f(float v) { return {recording ? number(v) : std::string(), v}; }
Arg d(double v) { return {recording ? number(v) : std::string(), v}; }
Arg i(int v) { return {recording ? number(v) : std::string(), static_cast<double>(v)}; }
Arg u(unsigned v) { return {recording ? number(v) : std::string(), static_cast<double>(v)}; }
Arg e(GLenum v) { return {recording ? enumName(v) : std::string(), static_cast<double>(v)}; }

void record(const char* name, std::initializer_list<Arg> args) {
    if (!recording) return;
    Call c;
    c.name = name;
    c.str = std::string(name) + "(";
    bool first = true;
    for (const Arg& a : args) {
        if (!first) c.str += ", ";
        first = false;
        c.str += a.text;
        c.args.push_back(a.value);
    }
    c.str += ")";
    glLog.push_back(std::move(c));
}

}  // namespace
}  // namespace gldouble

using namespace gldouble;

// The font handle that GLUT_BITMAP_9_BY_15 points at.
void* glutBitmap9By15 = nullptr;

extern "C" {

void glClear(GLbitfield mask) { record("glClear", {e(mask)}); }
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    record("glClearColor", {f(r), f(g), f(b), f(a)});
}
void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    record("glViewport", {i(x), i(y), i(w), i(h)});
}
void glMatrixMode(GLenum mode) { record("glMatrixMode", {e(mode)}); }
void glLoadIdentity() { record("glLoadIdentity", {}); }
void gluOrtho2D(GLdouble l, GLdouble r, GLdouble b, GLdouble t) {
    record("gluOrtho2D", {d(l), d(r), d(b), d(t)});
}
void glBegin(GLenum mode) { record("glBegin", {e(mode)}); }
void glEnd() { record("glEnd", {}); }
void glVertex2f(GLfloat x, GLfloat y) { record("glVertex2f", {f(x), f(y)}); }
void glVertex2d(GLdouble x, GLdouble y) { record("glVertex2d", {d(x), d(y)}); }
void glVertex2i(GLint x, GLint y) { record("glVertex2i", {i(x), i(y)}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { record("glVertex3f", {f(x), f(y), f(z)}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { record("glColor3f", {f(r), f(g), f(b)}); }
void glPointSize(GLfloat size) { record("glPointSize", {f(size)}); }
void glTexCoord2d(GLdouble s, GLdouble t) { record("glTexCoord2d", {d(s), d(t)}); }
void glPolygonMode(GLenum face, GLenum mode) { record("glPolygonMode", {e(face), e(mode)}); }
void glEnable(GLenum cap) { record("glEnable", {e(cap)}); }
void glDisable(GLenum cap) { record("glDisable", {e(cap)}); }
void glBindTexture(GLenum target, GLuint name) { record("glBindTexture", {e(target), u(name)}); }
void glGenTextures(GLsizei n, GLuint* names) {
    record("glGenTextures", {i(n)});
    for (GLsizei k = 0; k < n; ++k) names[k] = nextTextureName++;
}
void glDeleteTextures(GLsizei n, const GLuint* names) {
    record("glDeleteTextures", {i(n), u(n > 0 ? names[0] : 0)});
}
void glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    record("glTexEnvf", {e(target), e(pname), e(static_cast<GLenum>(param))});
}
void glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    record("glTexParameterf", {e(target), e(pname), e(static_cast<GLenum>(param))});
}
void glTexParameteri(GLenum target, GLenum pname, GLint param) {
    record("glTexParameteri", {e(target), e(pname), e(static_cast<GLenum>(param))});
}
void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                  GLsizei height, GLint border, GLenum format, GLenum type,
                  const GLvoid* pixels) {
    if (!recording) return;
    record("glTexImage2D", {e(target), i(level), e(static_cast<GLenum>(internalFormat)),
                            i(width), i(height), i(border), e(format), e(type)});
    lastTexImage.width = width;
    lastTexImage.height = height;
    const auto* bytes = static_cast<const unsigned char*>(pixels);
    lastTexImage.pixels.assign(bytes, bytes + (bytes ? width * height * 3 : 0));
}
void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    record("glRasterPos3f", {f(x), f(y), f(z)});
}
void glFlush() { record("glFlush", {}); }

void glutInit(int* argc, char** /*argv*/) { record("glutInit", {i(argc ? *argc : 0)}); }
void glutInitDisplayMode(unsigned int mode) { record("glutInitDisplayMode", {u(mode)}); }
void glutInitWindowSize(int w, int h) { record("glutInitWindowSize", {i(w), i(h)}); }
int glutCreateWindow(const char* title) {
    record("glutCreateWindow", {});
    if (recording) glLog.back().str = std::string("glutCreateWindow(\"") + title + "\")";
    return 1;
}
void glutDestroyWindow(int window) { record("glutDestroyWindow", {i(window)}); }
void glutDisplayFunc(void (*fn)()) {
    record("glutDisplayFunc", {});
    callbacks.display = fn;
}
void glutReshapeFunc(void (*fn)(int, int)) {
    record("glutReshapeFunc", {});
    callbacks.reshape = fn;
}
void glutKeyboardFunc(void (*fn)(unsigned char, int, int)) {
    record("glutKeyboardFunc", {});
    callbacks.keyboard = fn;
}
void glutMouseFunc(void (*fn)(int, int, int, int)) {
    record("glutMouseFunc", {});
    callbacks.mouse = fn;
}
void glutMotionFunc(void (*fn)(int, int)) {
    record("glutMotionFunc", {});
    callbacks.motion = fn;
}
void glutSetOption(GLenum what, int value) { record("glutSetOption", {u(what), i(value)}); }
void glutMainLoop() { record("glutMainLoop", {}); }
void glutSwapBuffers() { record("glutSwapBuffers", {}); }
void glutPostRedisplay() { record("glutPostRedisplay", {}); }
int glutGetModifiers() { return gldouble::modifiers; }
void glutBitmapCharacter(void* font, int character) {
    record("glutBitmapCharacter", {i(character)});
    if (recording) glLog.back().str = std::string("glutBitmapCharacter(") +
                       (font == GLUT_BITMAP_9_BY_15 ? "GLUT_BITMAP_9_BY_15" : "?") + ", '" +
                       static_cast<char>(character) + "')";
}

}  // extern "C"
