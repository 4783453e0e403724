// Small synthetic pictures for the image steps: white canvases with black squares, outlines
// and lines, and a Tracker pointed at them.
#pragma once

#include <cmath>
#include <cstring>
#include <vector>

#include "vision/tracker.h"

struct Canvas {
    int width, height;
    std::vector<unsigned char> bgr;

    Canvas(int w, int h, unsigned char value = 255) : width(w), height(h), bgr(static_cast<size_t>(w) * h * 3, value) {}

    unsigned char* at(int r, int c) { return &bgr[(static_cast<size_t>(r) * width + c) * 3]; }
    void set(int r, int c, unsigned char v) {
        if (r < 0 || c < 0 || r >= height || c >= width) return;
        unsigned char* p = at(r, c);
        p[0] = p[1] = p[2] = v;
    }

    // Pixel centres inside the square of side `side` centred at (cr, cc), turned by `deg`.
    static bool insideSquare(double r, double c, double cr, double cc, double side, double deg) {
        const double a = deg * 3.14159265358979323846 / 180.0;
        const double dr = r - cr, dc = c - cc;
        const double u = dr * std::cos(a) + dc * std::sin(a), v = -dr * std::sin(a) + dc * std::cos(a);
        return std::fabs(u) < side / 2 && std::fabs(v) < side / 2;
    }
    void fillSquare(double cr, double cc, double side, double deg, unsigned char v = 0) {
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                if (insideSquare(r + 0.5, c + 0.5, cr, cc, side, deg)) set(r, c, v);
    }
    // An outline `thickness` pixels wide whose outer side is `side`.
    void outlineSquare(double cr, double cc, double side, double deg, double thickness = 2) {
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                if (insideSquare(r + 0.5, c + 0.5, cr, cc, side, deg) &&
                    !insideSquare(r + 0.5, c + 0.5, cr, cc, side - 2 * thickness, deg))
                    set(r, c, 0);
    }
};

// A Tracker whose `output` holds the canvas (as the grey step would leave it).
inline void loadOutput(Tracker& t, Canvas& canvas) {
    t.setFrameSize(canvas.height, canvas.width);
    t.input = canvas.bgr.data();
    t.ensureOutput();
    std::memcpy(t.output, canvas.bgr.data(), canvas.bgr.size());
}

inline int countColour(const Tracker& t, unsigned char b, unsigned char g, unsigned char r) {
    int n = 0;
    for (int k = 0; k < t.pixelCount(); ++k)
        n += t.output[3 * k] == b && t.output[3 * k + 1] == g && t.output[3 * k + 2] == r;
    return n;
}
