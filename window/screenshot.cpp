#include "window/screenshot.h"

#include <GL/freeglut.h>

#include <algorithm>

#include "imageio/png_file.h"

bool saveWindowScreenshot(const std::string& path, bool fromFront, std::string& error) {
    RgbImage image;
    image.width = glutGet(GLUT_WINDOW_WIDTH);
    image.height = glutGet(GLUT_WINDOW_HEIGHT);
    if (image.width <= 0 || image.height <= 0) {
        error = path + ": the window has no size";
        return false;
    }
    const size_t rowBytes = static_cast<size_t>(image.width) * 3;
    std::vector<unsigned char> bottomUp(rowBytes * image.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(fromFront ? GL_FRONT : GL_BACK);
    // glReadPixels gives the bottom row first; PNG wants the top row first (docs/conventions.md, "Frames").
    glReadPixels(0, 0, image.width, image.height, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    image.pixels.resize(bottomUp.size());
    for (int r = 0; r < image.height; ++r) {
        std::copy_n(&bottomUp[(image.height - 1 - r) * rowBytes], rowBytes, &image.pixels[r * rowBytes]);
    }
    return writePng(path, image, error);
}
