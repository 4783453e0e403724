// One line of text in GLUT bitmap characters at a fixed place of the normalised device
// square, whatever the current matrices, lighting and depth state.
#pragma once

#include <cstdarg>

constexpr int kMessageBufferBytes = 1024;

class Message {
public:
    Message(float x, float y);
    void setColor(float red, float green, float blue);
    void setFont(int font);
    void setPosition(float x, float y);
    // printf-style; a text longer than 1022 characters is a programming error that stops the
    // program with the message "msg[1023]==1".
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void drawText(const char* text) const;

    unsigned char colour[3];
    int font;
    float x, y;
};

// Formats into the shared message buffer; false when the text did not fit.
bool formatMessage(const char* format, va_list args);
