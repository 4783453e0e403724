// The scene description: the text of a small scene against the expected text, and the mesh files
// its dump writes read back into the same meshes.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "scratch_dir.h"
#include "scene/material.h"
#include "scene/mesh.h"
#include "scene/scene_writer.h"
#include "scene/texture.h"

namespace {

std::string dumpOf(Item& item) {
    TextSceneWriter w;
    item.dump(w);
    return w.text();
}

Mesh* triangle() {
    auto* m = new Mesh;
    auto* p = new VertexAttribArray(3, kAttribPosition, 3);
    const float v[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    p->set(3, v);
    m->addAttribArray(p);
    auto* t = new TriangleSet(1, 3);
    t->setTriangle(0, 0, 1, 2);
    m->addTriangleSet(t);
    return m;
}

}  // namespace

TEST(SceneDump, SmallSceneGivesTheExpectedText) {
    EXPECT_EQ(dumpOf(*std::make_unique<Group>()), "Group{\n  ;\n}\n");

    auto* material = new Material(0.5f, 0.25f, 1.0f, 1.0f);
    material->setShininess(20);
    Group root;
    root.setName("root");
    auto* pivotOnly = new Group;
    pivotOnly->setReference(1, 2, 3);  // a reference alone is not written
    root.addChild(pivotOnly);
    auto* object = new Object(material);
    object->setName("box");
    object->setPosition(0, 0, 10);
    object->setRotation(90, 0, 0, 1);
    object->setScale(2, 2, 2);
    root.addChild(object);
    auto* spot = new SLight(0, 0, 100);
    spot->setQuadraticAttenuation(0.5f);
    spot->setCutoff(30);
    root.addChild(spot);

    const int n = material->registryIndex() + 1;
    EXPECT_EQ(dumpOf(root),
              "Group{\n"
              "  name = \"root\",\n"
              "  ;\n"
              "  Group{\n"
              "    transform={\n"
              "    },\n"
              "    ;\n"
              "  },\n"
              "  Object{\n"
              "    name = \"box\",\n"
              "    appearance = appearances[" + std::to_string(n) + "],\n"
              "    transform={\n"
              "      position  = {0.000000,0.000000,10.000000},\n"
              // 2 acos(w) of the float quaternion of 90 degrees about z
              "      rotation  = {angle=90.000008, x=0.000000, y=0.000000, z=0.707106},\n"
              "      scale     = {2.000000,2.000000,2.000000},\n"
              "    },\n"
              "    ;\n"
              "  },\n"
              "  SLight{\n"
              "    ambient   = { 0.000000, 0.000000, 0.000000, 1.000000 },\n"
              "    diffuse   = { 1.000000, 1.000000, 1.000000, 1.000000 },\n"
              "    specular  = { 1.000000, 1.000000, 1.000000, 1.000000 },\n"
              "    position  = { 0.000000, 0.000000, 100.000000 },\n"
              "    quadratic_att = 0.500000,\n"
              "    cutoff    = 30.000000,\n"
              "    exponent  = 0.000000,\n"
              "    direction = { 0.000000, 0.000000, -1.000000 },\n"
              "  },\n"
              "}\n");
    // Ambient and diffuse set together are written as two lines of the same colour.
    EXPECT_EQ(dumpOf(*material),
              "Material{\n  ambient  = {0.500000,0.250000,1.000000,1.000000},\n"
              "  diffuse  = {0.500000,0.250000,1.000000,1.000000},\n  shininess= 20.000000,\n}\n");

    Texture texture;
    texture.setWrap(GL_CLAMP, GL_REPEAT, GL_CLAMP);
    texture.setTexGen(GL_S, GL_SPHERE_MAP, 0, 0, 0, 0);
    texture.setEnvMode(GL_BLEND);
    EXPECT_EQ(dumpOf(texture),
              "Texture{\n  palette_file = \"\",\n  index_file   = \"\",\n  gen_tex_s = {\n    mode = GL_SPHERE_MAP,\n  },\n"
              "  wrap_s         = 33071,\n  wrap_r         = 33071,\n  env_mode       = 3042,\n"
              "  env_color      = { 0.000000, 0.000000, 0.000000, 1.000000 },\n}\n");
}

TEST(SceneDump, MeshFilesAreNumberedAndReadBack) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(scratchDir().c_str()), 0);
    Object object;
    object.addShape(triangle());
    object.addShape(triangle());
    MeshFiles::resetMeshFileCounter();
    EXPECT_EQ(dumpOf(object), "Object{\n  ;\n  Mesh{\n    mshfile=\"mesh0.msh\"\n  },\n  Mesh{\n    mshfile=\"mesh1.msh\"\n  },\n}\n");
    Mesh back;
    EXPECT_TRUE(back.loadMeshFile("mesh1.msh"));
    EXPECT_EQ(back.faceCount(), 1);

    // The whole-scene writer puts the appearances first, numbered as the entities refer to them.
    Group root;
    auto* material = new Material(1, 0, 0, 1);
    auto* inner = new Object(material);
    inner->addShape(triangle());
    root.addChild(inner);
    std::string error;
    ASSERT_TRUE(writeSceneFile(root, "scene.txt", "scene_mesh", error)) << error;
    std::ifstream in("scene.txt");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string entry = "  [" + std::to_string(material->registryIndex() + 1) + "] = Material{";
    EXPECT_EQ(text.find("appearances = {\n"), 0u);
    EXPECT_NE(text.find(entry), std::string::npos);
    EXPECT_NE(text.find("scene = {\n  Group{"), std::string::npos);
    EXPECT_NE(text.find("mshfile=\"scene_mesh0.msh\""), std::string::npos);
    Mesh fromScene;
    EXPECT_TRUE(fromScene.loadMeshFile("scene_mesh0.msh"));
    EXPECT_FALSE(writeSceneFile(root, "no/such/dir/scene.txt", "x", error));
    ASSERT_EQ(chdir(cwd), 0);
}
