// The scene graph drawn with a real OpenGL context (run in a private virtual X server): the demonstration scene
// appears where its transforms put it, textured and lit; a traversal leaves OpenGL's matrices,
// attributes and buffer bindings as it found them; the fixed limits (eight lights, eight texture
// units) refuse cleanly; extension lookup works on the driver's and on GLX's list.
#include <GL/freeglut.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <array>

#include <unistd.h>

#include "window/platform.h"
#include "scene/gl_extensions.h"
#include "scene/scene_renderer.h"
#include "scene/scene_writer.h"
#include "tools/demo_scene.h"

namespace {

constexpr int kW = 320, kH = 240;

std::array<int, 3> pixelAt(int x, int y) {
    unsigned char p[3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

// Where the origin of `node`'s world transform lands in the window, with the demo camera.
void projectOrigin(const Node& node, double& wx, double& wy) {
    Matrix world;
    node.getWorldTransform(world);
    GLdouble model[16], proj[16];
    GLint view[4];
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glMultMatrixf(world.m);
    glGetDoublev(GL_MODELVIEW_MATRIX, model);
    glPopMatrix();
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    glGetIntegerv(GL_VIEWPORT, view);
    double wz;
    gluProject(0, 0, 0, model, proj, view, &wx, &wy, &wz);
}

struct GLState {
    GLint modelviewDepth, projectionDepth, attribDepth, clientDepth, arrayBuffer, elementBuffer, activeTexture;
    GLboolean lighting, texture2D, light0;
    GLfloat modelview[16];

    static GLState now() {
        GLState s;
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
        glGetIntegerv(GL_ATTRIB_STACK_DEPTH, &s.attribDepth);
        glGetIntegerv(GL_CLIENT_ATTRIB_STACK_DEPTH, &s.clientDepth);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING_ARB, &s.arrayBuffer);
        glGetIntegerv(GL_ELEMENT_ARRAY_BUFFER_BINDING_ARB, &s.elementBuffer);
        glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &s.activeTexture);
        s.lighting = glIsEnabled(GL_LIGHTING);
        s.texture2D = glIsEnabled(GL_TEXTURE_2D);
        s.light0 = glIsEnabled(GL_LIGHT0);
        glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
        return s;
    }
    void expectSame(const GLState& o) const {
        EXPECT_EQ(modelviewDepth, o.modelviewDepth);
        EXPECT_EQ(projectionDepth, o.projectionDepth);
        EXPECT_EQ(attribDepth, o.attribDepth);
        EXPECT_EQ(clientDepth, o.clientDepth);
        EXPECT_EQ(arrayBuffer, o.arrayBuffer);
        EXPECT_EQ(elementBuffer, o.elementBuffer);
        EXPECT_EQ(activeTexture, o.activeTexture);
        EXPECT_EQ(lighting, o.lighting);
        EXPECT_EQ(texture2D, o.texture2D);
        EXPECT_EQ(light0, o.light0);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(modelview[i], o.modelview[i]);
    }
};

}  // namespace

TEST(SceneDrawing, DemoSceneAppearsWhereItsTransformsPutIt) {
    const std::string picture = testing::TempDir() + "checker.png";
    ASSERT_TRUE(writeCheckerPicture(picture));
    bool ok = false;
    DemoScene scene = buildDemoScene(picture, ok);
    ASSERT_TRUE(ok);
    drawDemoScene(scene, kW, kH);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // The red box: red, lit, where its position under the turning group puts it.
    double mx, my;
    projectOrigin(*scene.moon, mx, my);
    const auto moon = pixelAt(static_cast<int>(mx), static_cast<int>(my));
    EXPECT_GT(moon[0], 120);
    EXPECT_LT(moon[1], 60);
    EXPECT_LT(moon[2], 60);

    // The textured box: around its centre both checker colours, yellow and blue, lit.
    double bx, by;
    projectOrigin(*scene.box, bx, by);
    int yellow = 0, blue = 0;
    for (int dy = -30; dy <= 30; dy += 3)
        for (int dx = -30; dx <= 30; dx += 3) {
            const auto p = pixelAt(static_cast<int>(bx) + dx, static_cast<int>(by) + dy);
            yellow += p[0] > 100 && p[1] > 80 && p[2] < 60;
            blue += p[2] > 100 && p[0] < 60;
        }
    EXPECT_GT(yellow, 50);
    EXPECT_GT(blue, 50);

    // Far from both, the background.
    EXPECT_EQ(pixelAt(5, 5), (std::array<int, 3>{26, 26, 31}));

    // The meshes went into buffer objects where the driver has them.
    if (GLExtensions::extensionSupported("GL_ARB_vertex_buffer_object")) {
        const Mesh& box = static_cast<const Mesh&>(*scene.box->shape(0));
        EXPECT_TRUE(box.vertexData().arrays()[0]->isUploaded());
        EXPECT_TRUE(box.triangleSets()[0]->isUploaded());
    }
}

TEST(SceneDrawing, TraversalLeavesOpenGLStateAsItFoundIt) {
    const std::string picture = testing::TempDir() + "checker.png";
    ASSERT_TRUE(writeCheckerPicture(picture));
    bool ok = false;
    DemoScene scene = buildDemoScene(picture, ok);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, -300);
    const GLState before = GLState::now();
    SceneRenderer renderer;
    for (int frame = 0; frame < 3; ++frame) renderer.drawRoot(*scene.root);
    GLState::now().expectSame(before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(SceneDrawing, FixedLimitsRefuseCleanly) {
    // Nine lights: the ninth has no OpenGL light and is not applied.
    std::vector<std::unique_ptr<PLight>> lights;
    for (int i = 0; i < 9; ++i) lights.push_back(std::make_unique<PLight>(0, 0, 0));
    EXPECT_TRUE(lights[7]->hasSlot());
    EXPECT_FALSE(lights[8]->hasSlot());
    lights[8]->apply();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Ten nested textures: the ninth and tenth are not applied, and every restore balances.
    const std::string picture = testing::TempDir() + "checker.png";
    ASSERT_TRUE(writeCheckerPicture(picture));
    std::vector<std::unique_ptr<Texture>> textures;
    for (int i = 0; i < 10; ++i) {
        textures.push_back(std::make_unique<Texture>());
        ASSERT_TRUE(textures.back()->loadColor(picture.c_str(), nullptr));
    }
    const GLState before = GLState::now();
    for (auto& t : textures) t->apply();
    GLint unit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE_ARB, &unit);
    EXPECT_EQ(unit, GL_TEXTURE7_ARB);
    for (auto it = textures.rbegin(); it != textures.rend(); ++it) (*it)->restore();
    GLState::now().expectSame(before);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(SceneDrawing, DumpOfTheDrawnSceneReadsBack) {
    const std::string picture = testing::TempDir() + "checker.png";
    ASSERT_TRUE(writeCheckerPicture(picture));
    bool ok = false;
    DemoScene scene = buildDemoScene(picture, ok);
    std::string error;
    const std::string prefix = testing::TempDir() + "demo_mesh";
    ASSERT_TRUE(writeSceneFile(*scene.root, testing::TempDir() + "demo.txt", prefix, error)) << error;
    for (const Object* o : {scene.box, scene.moon}) {
        Mesh back;
        ASSERT_TRUE(back.loadMeshFile(prefix + (o == scene.box ? "0" : "1") + ".msh"));
        const Mesh& original = static_cast<const Mesh&>(*o->shape(0));
        EXPECT_EQ(back.getVertexCount(), original.getVertexCount());
        EXPECT_EQ(back.faceCount(), original.faceCount());
        EXPECT_EQ(back.vertexData().arrays().size(), original.vertexData().arrays().size());
    }
}

TEST(Platform, DrawingLeavesLightingAndTheModelviewAsTheyWere) {
    // The platform is found in the working folder, as the program finds it.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(TOVRAK_BUILD_DIR), 0);
    drawPlatform();  // nothing loaded yet: nothing drawn, nothing changed
    ASSERT_NE(loadPlatform(), nullptr);
    ASSERT_EQ(chdir(cwd), 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -400);
    const GLfloat light0[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, light0);
    glDisable(GL_LIGHT0);
    const GLState before = GLState::now();
    drawPlatform();
    GLState::now().expectSame(before);
    GLfloat after[4];
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, after);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(after[i], light0[i]);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(GLExtensions, WholeTokensOfTheDriverAndGLXLists) {
    EXPECT_TRUE(GLExtensions::hasToken("GL_A GL_EXT_texture3D GL_B", "GL_EXT_texture3D"));
    EXPECT_FALSE(GLExtensions::hasToken("GL_EXT_texture3Dx", "GL_EXT_texture3D"));
    EXPECT_FALSE(GLExtensions::hasToken("GL_A  GL_B", "GL_B"));  // two spaces end the search
    EXPECT_TRUE(GLExtensions::extensionSupported("GL_ARB_multitexture"));
    EXPECT_FALSE(GLExtensions::extensionSupported("GL_ARB_multitextur"));
    // A name only the window system lists.
    EXPECT_TRUE(GLExtensions::extensionSupported("GLX_ARB_get_proc_address"));
    EXPECT_NE(GLExtensions::getProcAddress("glActiveTextureARB"), nullptr);
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DEPTH | GLUT_DOUBLE);
    glutInitWindowSize(kW, kH);
    glutCreateWindow("Tovrak scene drawing tests");
    glReadBuffer(GL_BACK);
    return RUN_ALL_TESTS();
}
