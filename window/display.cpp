#include "window/display.h"

#include <GL/freeglut.h>

#include "models/md2_draw.h"
#include "window/shown_model.h"

void initGL() {
    static const GLfloat kSpecular[] = {0.3f, 0.5f, 0.6f, 1.0f};
    static const GLfloat kShininess[] = {50.0f};
    static const GLfloat kLightPosition[] = {1.0f, 1.0f, 1.0f, 0.0f};
    glFrontFace(GL_CCW);
    glDisable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glMaterialfv(GL_FRONT, GL_SPECULAR, kSpecular);
    glMaterialfv(GL_FRONT, GL_SHININESS, kShininess);
    glLightfv(GL_LIGHT0, GL_POSITION, kLightPosition);
    // Frame rows are packed (width x 3 bytes, no padding).
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

namespace {

// The cone stands on the target in the live picture: the camera matrices describe the whole
// frame, so it is drawn in the live frame's slot (docs/conventions.md, "Display").
void drawCone(const double modelview[16], const double projection[16], int w, int h) {
    static const GLfloat kColour[] = {0.1f, 0.5f, 0.8f, 1.0f};
    static const GLfloat kSpecular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    static const GLfloat kShininess[] = {40.0f};
    glViewport(kLiveSlotX, kSlotY, kSlotWidth, kSlotHeight);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glMaterialfv(GL_FRONT, GL_AMBIENT, kColour);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, kColour);
    glMaterialfv(GL_FRONT, GL_SPECULAR, kSpecular);
    glMaterialfv(GL_FRONT, GL_SHININESS, kShininess);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixd(modelview);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection);
    glutSolidCone(30.0, 100.0, 64, 64);
    glDisable(GL_LIGHTING);
    glViewport(0, 0, w, h);
}

}  // namespace

void displayFrame(const WindowContent& c, FrameRateMeter& frameRate) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int w = viewport[2], h = viewport[3];

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, w, 0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    if (c.live && c.width > 0 && c.height > 0) {
        // Frames are B G R with row 0 at the bottom (docs/conventions.md, "Frames" and "Display slots").
        // Row 0 is the bottom row, as glDrawPixels reads it; a frame of any size fills its slot.
        glPixelZoom(static_cast<float>(kSlotWidth) / c.width, static_cast<float>(kSlotHeight) / c.height);
        glRasterPos2i(kLiveSlotX, kSlotY);
        glDrawPixels(c.width, c.height, GL_BGR, GL_UNSIGNED_BYTE, c.live);
        glRasterPos2i(kProcessedSlotX, kSlotY);
        glDrawPixels(c.width, c.height, GL_BGR, GL_UNSIGNED_BYTE, c.processed ? c.processed : c.live);
        glPixelZoom(1.0f, 1.0f);
    }

    drawFrameRate(frameRate, c.status);
    if (!c.modelview || !c.projection) return;
    if (c.model) {
        drawShownModel(*c.model, c.modelview, c.projection);
        glViewport(0, 0, w, h);
    }
    if (c.character) {
        drawRegisteredModel(*c.character, c.modelview, c.projection);
        glViewport(0, 0, w, h);
    }
    if (c.cone) drawCone(c.modelview, c.projection, w, h);
}

void reshapeWindow(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
}
