#include "app/shown_model.h"

#include <GL/gl.h>

#include <chrono>
#include <cstdio>

#include "app/data_files.h"
#include "app/display.h"
#include "app/platform.h"
#include "imageio/report.h"
#include "models/placement.h"
#include "models/scene_factory.h"
#include "scene/bounds.h"
#include "scene/scene_renderer.h"
#include "scene/scene_writer.h"

namespace {

// Triangles of every mesh under a node, counted once per placement.
int countTriangles(const Node* n) {
    int triangles = 0;
    if (const auto* object = dynamic_cast<const Object*>(n))
        for (int i = 0; i < object->shapeCount(); ++i) triangles += object->shape(i)->faceCount();
    if (const auto* group = dynamic_cast<const Group*>(n))
        for (const Node* child : group->children()) triangles += countTriangles(child);
    return triangles;
}

}  // namespace

void fitToTarget(ShownModel& m) {
    const BoundsBox& box = BoundsTable::instance().box(m.root->getBoundsIndex());
    if (box.isEmpty()) return;
    const double across = std::max(box.maxX - box.minX, box.maxZ - box.minZ);
    m.scale = across > 0 ? kShownModelSpanMm / across : 1.0;
    m.anchor[0] = (box.minX + box.maxX) / 2;
    m.anchor[1] = box.minY;
    m.anchor[2] = (box.minZ + box.maxZ) / 2;
}

bool loadShownModel(const std::string& modelFile, const std::string& dumpFile, ShownModel& out) {
    // Smooth textures for models seen small and at a slant.
    TextureDefaults::set(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, true);
    const auto start = std::chrono::steady_clock::now();
    out = ShownModel{};
    if (modelFile.empty()) {
        out.root = loadPlatform();
    } else {
        out.root = loadModel("Model", modelFile.c_str(), folderOf(modelFile).c_str(), 0);
        out.isPlatform = false;
    }
    out.loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!out.root) return false;
    out.triangles = countTriangles(out.root);
    if (!out.isPlatform) {
        fitToTarget(out);
        reportLine("Model %s: %d triangles in %.2f s, drawn at %.4g mm a unit", modelFile.c_str(), out.triangles,
                    out.loadSeconds, out.scale);
    }
    if (!dumpFile.empty()) {
        const size_t dot = dumpFile.rfind('.');
        const size_t slash = dumpFile.rfind('/');
        const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dumpFile.substr(0, dot) : dumpFile;
        std::string error;
        if (writeSceneFile(*out.root, dumpFile, stem + "_mesh", error))
            reportLine("Wrote the scene description %s", dumpFile.c_str());
        else
            reportError("--dump-scene %s: %s", dumpFile.c_str(), error.c_str());
    }
    return true;
}

void shownModelMatrix(const ShownModel& m, const double modelview[16], double out[16]) {
    placeUprightOnTarget(modelview, m.scale, m.anchor, out);
}

void drawShownModel(const ShownModel& m, const double modelview[16], const double projection[16]) {
    if (!m.root) return;
    glViewport(kLiveSlotX, kSlotY, kSlotWidth, kSlotHeight);
    glClear(GL_DEPTH_BUFFER_BIT);
    glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);  // the models are drawn scaled
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixd(projection);
    glMatrixMode(GL_MODELVIEW);
    if (m.isPlatform) {
        // The platform's own light is dim; the scene's ambient light shows its texture.
        static const GLfloat kSceneAmbient[] = {0.9f, 0.9f, 0.9f, 1.0f};
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, kSceneAmbient);
        glLoadMatrixd(modelview);
        drawPlatform();
    } else {
        // A light from the camera, set in eye coordinates before the target's matrix.
        // From above the camera and to its right, so that upright sides are lit too.
        static const GLfloat kHeadLight[] = {0.6f, 1.0f, 0.5f, 0.0f};
        static const GLfloat kWhite[] = {0.9f, 0.9f, 0.9f, 1.0f};
        static const GLfloat kAmbient[] = {0.8f, 0.8f, 0.8f, 1.0f};
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, kHeadLight);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, kWhite);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, kAmbient);
        // Models from elsewhere do not always wind their faces outwards; both sides are lit.
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        double placed[16];
        shownModelMatrix(m, modelview, placed);
        glLoadMatrixd(placed);
        SceneRenderer renderer;
        m.root->accept(renderer);
    }
    glPopAttrib();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}
