#include "models/md2_draw.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

#include "bitmap/dib_reader.h"

void drawAnimModel(AnimModel& model) {
    if (model.objects.empty()) return;
    const int frames = static_cast<int>(model.objects.size());
    if (model.currentFrame < 0 || model.currentFrame >= frames) model.currentFrame = 0;
    const int next = nextAnimFrame(model);
    const AnimFrame& a = model.objects[model.currentFrame];
    const AnimFrame& b = model.objects[next];
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
            const float* pa = &a.vertices[3 * face.vertIndex[k]];
            const float* pb = &b.vertices[3 * face.vertIndex[k]];
            glVertex3f(pa[0] + t * (pb[0] - pa[0]), pa[1] + t * (pb[1] - pa[1]), pa[2] + t * (pb[2] - pa[2]));
        }
    }
    glEnd();
}

void registeredModelMatrix(const double modelview[16], double out[16]) {
    // Placement = S(k) Rx(90 deg): column-major, (x, y, z) -> k (x, -z, y), so the model's +y
    // (up) becomes the target frame's +z (towards the camera, above the target).
    const double k = kModelScale;
    const double place[16] = {k, 0, 0, 0, 0, 0, k, 0, 0, -k, 0, 0, 0, 0, 0, 1};
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double sum = 0.0;
            for (int i = 0; i < 4; ++i) sum += modelview[4 * i + r] * place[4 * c + i];
            out[4 * c + r] = sum;
        }
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
