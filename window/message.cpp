#include "window/message.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

namespace {
// Shared by every Message: formatting never allocates. The last byte is a guard.
char msg[kMessageBufferBytes];

// Fonts are stored by their classic GLUT numbers (6 Helvetica 10, 7 Helvetica 12, ...).
void* glutFontFor(int font) {
    switch (font) {
        case 2: return GLUT_BITMAP_9_BY_15;
        case 3: return GLUT_BITMAP_8_BY_13;
        case 4: return GLUT_BITMAP_TIMES_ROMAN_10;
        case 5: return GLUT_BITMAP_TIMES_ROMAN_24;
        case 7: return GLUT_BITMAP_HELVETICA_12;
        case 8: return GLUT_BITMAP_HELVETICA_18;
        default: return GLUT_BITMAP_HELVETICA_10;
    }
}
}  // namespace

Message::Message(float px, float py) : colour{255, 255, 255}, font(6), x(px), y(py) {}

void Message::setColor(float red, float green, float blue) {
    colour[0] = static_cast<unsigned char>(red * 255.0f);
    colour[1] = static_cast<unsigned char>(green * 255.0f);
    colour[2] = static_cast<unsigned char>(blue * 255.0f);
}

void Message::setFont(int f) { font = f; }

void Message::setPosition(float px, float py) {
    x = px;
    y = py;
}

bool formatMessage(const char* format, va_list args) {
    msg[kMessageBufferBytes - 1] = 1;
    std::vsnprintf(msg, kMessageBufferBytes, format, args);
    return msg[kMessageBufferBytes - 1] == 1;
}

void Message::print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const bool fits = formatMessage(format, args);
    va_end(args);
    if (!fits) {
        std::fprintf(stderr, "%s: assertion failed: msg[1023]==1\n", __FILE__);
        std::abort();
    }
    drawText(msg);
}

void Message::drawText(const char* text) const {
    glPushAttrib(GL_CURRENT_BIT | GL_ENABLE_BIT);
    glColor3ub(colour[0], colour[1], colour[2]);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glRasterPos3f(x, y, 0.9f);
    for (const char* c = text; *c; ++c) glutBitmapCharacter(glutFontFor(font), *c);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glPopAttrib();
}
