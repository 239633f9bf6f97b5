// shell.cpp -- start-up, the window, and the reshape, display and keyboard handlers.
// The mouse handlers live with the curve editor; the command line is read in
// commandline.cpp, and the files it names are read and saved in files.cpp.
#include "app/shell.h"

#include <GL/freeglut.h>
#include <GL/glu.h>

#include <cstdio>

#include "app/state.h"
#include "curves/curves.h"
#include "export/export.h"
#include "morph/morph.h"
#include "panels/panels.h"

namespace mw {

namespace {

// Control keys as GLUT delivers them: the letter's place in the alphabet.
constexpr unsigned char kCtrlS = 19;
constexpr unsigned char kCtrlY = 25;
constexpr unsigned char kCtrlZ = 26;  // with Shift too

// Saving, undo and redo. Returns false for every other key.
bool onControlKey(unsigned char key) {
    bool changed = false;
    switch (key) {
        case kCtrlS: saveNet(); return true;
        case kCtrlZ:
            changed = (glutGetModifiers() & GLUT_ACTIVE_SHIFT) ? redoEdit() : undoEdit();
            break;
        case kCtrlY: changed = redoEdit(); break;
        default: return false;
    }
    if (changed) glutPostRedisplay();
    return true;
}

}  // namespace

int runWorkstation(int argc, char** argv) {
    const CommandLine line = parseCommandLine(argc, argv);
    if (line.what == Invocation::Help || line.what == Invocation::Version) {
        std::fputs(line.text.c_str(), stdout);
        return 0;
    }
    if (line.what == Invocation::WrongArguments) {
        std::fprintf(stderr, "morphing-workstation: %s\n", line.text.c_str());
        return kStatusWrongArguments;
    }
    if (line.what == Invocation::Render) return runRender(line.render);
    NetFile net;
    if (!readStartFiles(line, net)) return kStatusCannotUse;

    // The toolkit sees its own options only, exactly as they were given.
    static char programName[] = "morphing-workstation";
    std::vector<char*> toolkitArgv = {argc > 0 ? argv[0] : programName};
    for (int i : line.toolkitArguments) toolkitArgv.push_back(argv[i]);
    int toolkitArgc = static_cast<int>(toolkitArgv.size());
    toolkitArgv.push_back(nullptr);
    glutInit(&toolkitArgc, toolkitArgv.data());
    glutInitDisplayMode(GLUT_DOUBLE);
    glutInitWindowSize(static_cast<int>(windowWidth), static_cast<int>(windowHeight));
    const int window = glutCreateWindow(kWindowTitle);
    glClearColor(0.2f, 0.2f, 1.0f, 0.0f);
    glutDisplayFunc(onDisplay);
    glutReshapeFunc(onReshape);
    glutKeyboardFunc(onKeyboard);
    glutMouseFunc(onMouse);
    glutMotionFunc(onMotion);
    // Closing the window returns from the main loop, so the textures are deleted.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_GLUTMAINLOOP_RETURNS);

    if (!loadImages()) {
        glutDestroyWindow(window);
        return kStatusCannotUse;
    }
    if (!line.netFile.empty()) useNetFile(net, line.netFile);

    glutMainLoop();

    deleteTexture(images.leftTexture);
    deleteTexture(images.rightTexture);
    deleteTexture(images.morphTexture);
    return 0;
}

// The projection always spans 1250 x 600 units, whatever the window's size; the
// model-view matrix is never touched.
void onReshape(int width, int height) {
    if (width == 0 || height == 0) return;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, windowWidth, 0, windowHeight);
}

// The animation step comes before the intermediate bank is rebuilt, so a step
// composes towards the net of the previous morphT. Drawing a curve stores its
// default tangents and phantom points, which the next rebuild and warp read.
void onDisplay() {
    glClear(GL_COLOR_BUFFER_BIT);
    drawStatusText();
    drawImageQuads();
    drawPanelFrames();
    if (state.animationRunning) advanceAnimation();
    if (state.morphingStarted) {
        buildIntermediateCurves();
        drawSlider();
    }
    const int curveCount = store.curveCount;
    for (int c = 0; c < curveCount; ++c) drawCurve(c, false);
    for (int c = curveCount; c < curveCount + curveCount / 2; ++c) drawCurve(c, true);
    if (state.showIntersections) drawIntersections();
    glutSwapBuffers();
    glFlush();
}

static void toggle(bool& flag) { flag = !flag; }

// Steps value through first..last; the last goes back to the first.
static void cycle(int& value, int first, int last) { value = value == last ? first : value + 1; }

void onKeyboard(unsigned char key, int, int) {
    if (onControlKey(key)) return;
    switch (key) {
        case 'M': case 'm': state.morphingStarted = true; break;
        case 'I': case 'i': toggle(state.showIntermediate); break;
        case 'T': case 't': toggle(state.showTangents); break;
        case 'P': case 'p': toggle(state.showPoints); break;
        case 'C': case 'c': toggle(state.showCurves); break;
        case 'X': case 'x': toggle(state.showIntersections); break;
        case 'B': case 'b': toggle(state.useBinarySearch); break;
        case 'Q': case 'q': cycle(state.qualityLevel, kQualityLinear, kQualityPrecise); break;
        case 'S': case 's':
            cycle(state.viewMode, kViewLeft, kViewBoth);
            if (state.morphingStarted) composeMorph();
            break;
        case 'A': case 'a':
            if (state.animationRunning) {
                state.animationRunning = false;  // morphT stays where it is
            } else {
                startAnimation();
            }
            break;
        default: return;
    }
    glutPostRedisplay();
}

}  // namespace mw
