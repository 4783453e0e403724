#include "window/platform.h"

#include <GL/gl.h>

#include "base/data_files.h"
#include "models/scene_factory.h"
#include "scene/scene_renderer.h"

namespace {
Group* s_model = nullptr;  // kept for the program's life once loaded
}

Group* loadPlatform() {
    const std::string file = findDataFile(kPlatformFile);
    Group* model = loadModel("Plataforma", file.c_str(), folderOf(file).c_str(), 0);
    if (model) s_model = model;
    return model;
}

Group* platformModel() { return s_model; }

void drawPlatform() {
    if (!s_model) return;
    static const GLfloat kPosition[] = {0.0f, 0.0f, 10.0f, 1.0f};
    static const GLfloat kAmbient[] = {0.0f, 0.0f, 0.1f, 1.0f};
    static const GLfloat kDiffuse[] = {0.05f, 0.05f, 0.05f, 1.0f};
    static const GLfloat kSpecular[] = {0.1f, 0.1f, 0.1f, 1.0f};
    SceneRenderer renderer;
    glPushAttrib(GL_LIGHTING_BIT);
    glLightfv(GL_LIGHT0, GL_POSITION, kPosition);
    glLightfv(GL_LIGHT0, GL_AMBIENT, kAmbient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, kDiffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, kSpecular);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // Scale after the turn: the model's +y becomes +z, then everything shrinks to 0.07.
    glScalef(0.07f, 0.07f, 0.07f);
    glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
    s_model->accept(renderer);
    glPopMatrix();
    glPopAttrib();
}
