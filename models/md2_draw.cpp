#include "models/md2_draw.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "bitmap/dib_reader.h"
#include "models/placement.h"

void drawAnimModel(AnimModel& model) {
    animatedTriangles(model);
    const size_t corners = model.posePositions.size() / 3;
    const bool textured = model.poseUv.size() == 2 * corners;
    glBegin(GL_TRIANGLES);
    for (size_t i = 0; i < corners; ++i) {
        if (textured) glTexCoord2fv(&model.poseUv[2 * i]);
        glVertex3fv(&model.posePositions[3 * i]);
    }
    glEnd();
}

void drawRegisteredModel(AnimModel& model, const double modelview[16], const double projection[16]) {
    glClear(GL_DEPTH_BUFFER_BIT);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glViewport(10, 10, 320, 240);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMultMatrixd(projection);
    glMatrixMode(GL_MODELVIEW);
    double placed[16];
    registeredModelMatrix(modelview, placed);
    glLoadMatrixd(placed);
    drawAnimModel(model);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
}

bool createSkinTexture(unsigned int* textureNames, const std::string& file, int index, const std::string& consequence) {
    if (file.empty()) return true;
    const std::unique_ptr<DibImage> image = loadDibImage(file, consequence);
    if (!image) return false;
    glGenTextures(1, &textureNames[index]);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, textureNames[index]);
    // The bitmap reader gives R G B, bottom row first: texture order (docs/conventions.md, "Frames").
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, image->width, image->height, GL_RGB, GL_UNSIGNED_BYTE, image->pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return true;
}
