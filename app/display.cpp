#include "app/display.h"

#include <GL/freeglut.h>

#include "app/frame_rate.h"
#include "app/shown_model.h"
#include "models/md2_draw.h"
#include "vision/tracker.h"

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
void drawCone(const Tracker& t, int w, int h) {
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
    glLoadMatrixd(t.modelview);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(t.projection);
    glutSolidCone(30.0, 100.0, 64, 64);
    glDisable(GL_LIGHTING);
    glViewport(0, 0, w, h);
}

}  // namespace

void displayFrame(AppState& app) {
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const int w = viewport[2], h = viewport[3];

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, w, 0, h);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    const size_t bytes = static_cast<size_t>(app.s_width) * app.s_height * 3;
    if (bytes > 0 && app.s_frame.size() == bytes) {
        const unsigned char* processed = app.s_tracker->output ? app.s_tracker->output : app.s_frame.data();
        // Frames are B G R with row 0 at the bottom (docs/conventions.md, "Frames" and "Display slots").
        // Row 0 is the bottom row, as glDrawPixels reads it; a frame of any size fills its slot.
        glPixelZoom(static_cast<float>(kSlotWidth) / app.s_width, static_cast<float>(kSlotHeight) / app.s_height);
        glRasterPos2i(kLiveSlotX, kSlotY);
        glDrawPixels(app.s_width, app.s_height, GL_BGR, GL_UNSIGNED_BYTE, app.s_frame.data());
        glRasterPos2i(kProcessedSlotX, kSlotY);
        glDrawPixels(app.s_width, app.s_height, GL_BGR, GL_UNSIGNED_BYTE, processed);
        glPixelZoom(1.0f, 1.0f);
    }

    drawFrameRate(app);
    if (app.s_key_b && app.s_shown_model) {
        drawShownModel(*app.s_shown_model, app.s_tracker->modelview, app.s_tracker->projection);
        glViewport(0, 0, w, h);
    }
    if (app.s_key_m && app.s_anim_model) {
        drawRegisteredModel(*app.s_anim_model, app.s_tracker->modelview, app.s_tracker->projection);
        glViewport(0, 0, w, h);
    }
    if (app.s_key_n) drawCone(*app.s_tracker, w, h);
}

void reshapeWindow(int width, int height) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluOrtho2D(0, width, 0, height);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
}
