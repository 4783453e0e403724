#include "window/shown_model.h"

#include <GL/gl.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "base/data_files.h"
#include "window/layout.h"
#include "window/platform.h"
#include "base/report.h"
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

namespace {

// Where the mesh files of a scene description go: FILE's name without its extension, then
// _meshN.msh. Only beside a regular file (or one to be made): never beside a device such as
// /dev/full, where they would be files of their own in /dev.
bool writeDump(Group& root, const std::string& dumpFile) {
    struct stat st;
    if (stat(dumpFile.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        reportError("--dump-scene %s: is not a regular file; no scene description written", dumpFile.c_str());
        return false;
    }
    // A folder that is not there: one line, rather than one for every mesh file after it.
    const size_t slash = dumpFile.rfind('/');
    if (slash != std::string::npos && slash > 0 && (stat(dumpFile.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
        reportError("--dump-scene %s: its folder is not there; no scene description written", dumpFile.c_str());
        return false;
    }
    const size_t dot = dumpFile.rfind('.');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dumpFile.substr(0, dot) : dumpFile;
    std::string error;
    if (!writeSceneFile(root, dumpFile, stem + "_mesh", error)) {
        reportError("--dump-scene %s: %s", dumpFile.c_str(), error.c_str());
        return false;
    }
    reportLine("Wrote the scene description %s", dumpFile.c_str());
    return true;
}

}  // namespace

bool loadShownModel(const ShownModelRequest& request, ShownModel& out) {
    // Smooth textures for models seen small and at a slant.
    TextureDefaults::set(GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR, true);
    const auto start = std::chrono::steady_clock::now();
    out = ShownModel{};
    AxisDirection declared;
    std::string declaredSource;
    if (request.modelFile.empty()) {
        out.root = loadPlatform();
    } else {
        // The file's own lights are left out: exporters write them in units and places of their
        // own scenes, and the two lights drawShownModel sets show every model alike.
        out.root = loadModel("Model", request.modelFile.c_str(), folderOf(request.modelFile).c_str(), 1, &declared, &declaredSource,
                             request.assets);
        out.isPlatform = false;
    }
    out.loadSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!out.root) {
        out.dumpFailed = !request.dumpFile.empty();  // asked for and not written
        return false;
    }
    out.triangles = countTriangles(out.root);
    out.loaded = true;
    const BoundsBox& box = BoundsTable::instance().box(out.root->getBoundsIndex());
    if (!box.isEmpty()) {
        const double lo[3] = {box.minX, box.minY, box.minZ}, hi[3] = {box.maxX, box.maxY, box.maxZ};
        std::copy(lo, lo + 3, out.boxMin), std::copy(hi, hi + 3, out.boxMax);
    } else {
        out.boxMin[0] = 1, out.boxMax[0] = 0;  // nothing to fit
    }
    if (!out.isPlatform) {
        out.up = parseUp(request.up, declared);
        out.fixedScale = request.scale;
        fitToTarget(out);
        // Which axis is up, and why: --up, or the file's metadata, or its format's convention.
        const std::string why = !request.up.empty() ? "--up" : declaredSource.empty() ? "the format's convention" : declaredSource;
        reportLine("Model %s: %d triangles in %.2f s, %s up (%s), drawn at %.4g mm a unit", request.modelFile.c_str(),
                   out.triangles, out.loadSeconds, upWords(out.up).c_str(), why.c_str(), out.scale);
    }
    if (!request.dumpFile.empty()) out.dumpFailed = !writeDump(*out.root, request.dumpFile);
    return true;
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
        // Two lights, so that every model shows its shape whatever its file's lights: a headlight
        // from the camera itself (set in eye coordinates before the target's matrix), which lights
        // every side that faces the viewer by how squarely it does, as a modelling tool's viewport
        // does, and a fill from above the target (set in the target's frame, whose +z is up).
        // Materials bring their diffuse colour as ambient (models/assimp_import.h), which the
        // scene's ambient light shows on the sides neither light reaches.
        static const GLfloat kHeadLight[] = {0.0f, 0.0f, 1.0f, 0.0f};
        static const GLfloat kHeadColour[] = {0.65f, 0.65f, 0.65f, 1.0f};
        static const GLfloat kHeadSpecular[] = {0.3f, 0.3f, 0.3f, 1.0f};
        static const GLfloat kFillFromAbove[] = {0.0f, 0.0f, 1.0f, 0.0f};
        static const GLfloat kFillColour[] = {0.4f, 0.4f, 0.4f, 1.0f};
        static const GLfloat kBlack[] = {0.0f, 0.0f, 0.0f, 1.0f};
        static const GLfloat kAmbient[] = {0.3f, 0.3f, 0.3f, 1.0f};
        glLoadIdentity();
        glLightfv(GL_LIGHT0, GL_POSITION, kHeadLight);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, kHeadColour);
        glLightfv(GL_LIGHT0, GL_SPECULAR, kHeadSpecular);
        glLightfv(GL_LIGHT0, GL_AMBIENT, kBlack);
        glLoadMatrixd(modelview);
        glLightfv(GL_LIGHT1, GL_POSITION, kFillFromAbove);
        glLightfv(GL_LIGHT1, GL_DIFFUSE, kFillColour);
        glLightfv(GL_LIGHT1, GL_SPECULAR, kBlack);
        glLightfv(GL_LIGHT1, GL_AMBIENT, kBlack);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, kAmbient);
        // Models from elsewhere do not always wind their faces outwards; both sides are lit.
        glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_LIGHT1);
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
