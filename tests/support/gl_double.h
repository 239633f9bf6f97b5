// gl_double.h -- a recording stand-in for GL, GLU and GLUT, linked into the unit
// tests in place of the real libraries. Every call is appended to glLog.
#pragma once

#include <string>
#include <vector>

namespace gldouble {

struct Call {
    std::string name;          // "glVertex2f"
    std::vector<double> args;  // numeric arguments, widened exactly
    std::string str;           // "glVertex2f(120, 200)"; enums by name, floats shortest
};

extern std::vector<Call> glLog;
// When false, calls are not logged (long soak runs); reset() turns it back on.
extern bool recording;

// Pixels and size of the last glTexImage2D.
struct TexImage {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
};
extern TexImage lastTexImage;

// What glutGetModifiers reports (GLUT_ACTIVE_SHIFT, ...); reset() clears it.
extern int modifiers;

// Clears the log, the texture image, the registered callbacks and the texture
// name counter.
void reset();

// The log as strings, optionally only the calls with the given names.
std::vector<std::string> strings();
std::vector<std::string> strings(const std::vector<std::string>& names);
int count(const std::string& name);

// Text drawn with glutBitmapCharacter, grouped per glRasterPos3f.
struct DrawnText {
    double x = 0, y = 0, z = 0;
    std::string text;
};
std::vector<DrawnText> texts();

// The GLUT callbacks registered by the code under test.
struct Callbacks {
    void (*display)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*mouse)(int, int, int, int) = nullptr;
    void (*motion)(int, int) = nullptr;
};
extern Callbacks callbacks;

}  // namespace gldouble
