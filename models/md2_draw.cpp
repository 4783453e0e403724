#include "models/md2_draw.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "bitmap/dib_reader.h"
#include "models/placement.h"

void drawAnimModel(AnimModel& model) {
    if (model.objects.empty()) return;
    const int frames = static_cast<int>(model.objects.size());
    if (model.currentFrame < 0 || model.currentFrame >= frames) model.currentFrame = 0;
    const int next = nextAnimFrame(model);
    const AnimFrame& base = model.objects[0];
    // Past the frame time (a stalled window) the pose stays at the next frame rather than
    // running on beyond it.
    const float t = std::clamp(advanceAnimTime(model, next), 0.0f, 1.0f);
    const bool textured = !base.texVertices.empty();
    glBegin(GL_TRIANGLES);
    for (const TriFace& face : base.faces) {
        for (int k = 0; k < 3; ++k) {
            if (textured) {
                const float* uv = &base.texVertices[2 * face.coordIndex[k]];
                glTexCoord2f(uv[0], uv[1]);
            }
            float p[3];
            blendedVertex(model, next, t, face.vertIndex[k], p);
            glVertex3fv(p);
        }
    }
    glEnd();
}

void registeredModelMatrix(const double modelview[16], double out[16]) {
    const double origin[3] = {0, 0, 0};
    placeUprightOnTarget(modelview, kModelScale, origin, out);
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
