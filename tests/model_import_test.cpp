// Model import: the factory's rules, our platform file into the expected tree, the same model
// written by assimp in three formats into equivalent trees, and every damaged platform file
// refused or loaded soundly. No OpenGL context: texture uploads and light switches do nothing.
#include <GL/gl.h>
#include <assimp/Exporter.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "scratch_dir.h"
#include "models/import_process.h"
#include "models/imported_model.h"
#include "models/model_folder.h"
#include "models/scene_factory.h"
#include "scene/bounds.h"
#include "scene/material.h"
#include "scene/texture.h"

namespace {

const std::string kPlatformDir = TOVRAK_BUILD_DIR "/p40";

std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const Node* findNamed(const Node* n, const std::string& name) {
    if (n->getName() && name == n->getName()) return n;
    if (const auto* g = dynamic_cast<const Group*>(n))
        for (const Node* c : g->children())
            if (const Node* found = findNamed(c, name)) return found;
    return nullptr;
}

// Triangles and meshes under a node, with every index checked against its mesh's vertices.
struct Survey {
    int triangles = 0, meshes = 0;
    bool sound = true;
};
void surveyInto(const Node* n, Survey& out) {
    if (const auto* o = dynamic_cast<const Object*>(n))
        for (int i = 0; i < o->shapeCount(); ++i) {
            const auto* mesh = dynamic_cast<const Mesh*>(o->shape(i));
            ++out.meshes;
            out.triangles += o->shape(i)->faceCount();
            for (const auto& s : mesh->triangleSets())
                for (int k = 0; k < s->count(); ++k)
                    out.sound = out.sound && s->get(k) < static_cast<uint32_t>(mesh->getVertexCount());
        }
    if (const auto* g = dynamic_cast<const Group*>(n))
        for (const Node* c : g->children()) surveyInto(c, out);
}
Survey survey(const Node* n) {
    Survey out;
    surveyInto(n, out);
    return out;
}

Mesh* meshOf(SceneFactory& f, int index, std::vector<float> xyz, std::vector<uint32_t> faces) {
    const std::vector<float> normals(xyz.size(), 0.5f);
    f.createMeshFromArrays(index, 0, static_cast<int>(xyz.size() / 3), xyz.data(), normals.data(),
                           static_cast<int>(faces.size() / 3), faces.data(), nullptr);
    return f.getMesh(index);
}

}  // namespace

TEST(SceneFactory, NamesIndicesAndRefusals) {
    Group root;
    SceneFactory f;
    f.setRoot(&root);
    ASSERT_TRUE(f.allocateAppearances(2) && f.allocateEntities(3) && f.allocateMeshes(2));
    EXPECT_FALSE(f.allocateEntities(-1));
    f.createMaterial(0, "Red", 0, {1, 0, 0, 1}, {1, 0, 0, 1}, 20, {0, 0, 0, 1});
    Appearance* red = f.getAppearance(0);
    ASSERT_NE(red, nullptr);
    EXPECT_STREQ(red->getName(), "Red");  // an unnamed root adds nothing to names

    // Index -1 without a shape: a group that ignores the appearance; another index passes it on.
    f.createEntity(-1, "top", nullptr, nullptr, red);
    f.createEntity(0, "inner", nullptr, nullptr, red);
    EXPECT_EQ(f.getEntity(-1)->getAppearance(), nullptr);
    EXPECT_EQ(f.getEntity(0)->getAppearance(), red);
    EXPECT_TRUE(f.addRootChild(f.getEntity(-1)));
    EXPECT_TRUE(f.addEntityChild(-1, f.getEntity(0)));

    // A transform read from the carrier.
    f.setTransform(0, 0, 0, 5, 6, 7, 90, 0, 0, 1, 2, 2, 2);
    Mesh* mesh = meshOf(f, 0, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 2});
    f.createEntity(1, "tri", mesh, f.getTransformCarrier(), red);
    const Entity* tri = f.getEntity(1);
    ASSERT_TRUE(tri && tri->isClass("Object"));
    EXPECT_EQ(tri->getPosition().y, 6.0f);
    EXPECT_EQ(tri->getScale().z, 2.0f);
    EXPECT_EQ(tri->getFlags(), Entity::kPosition | Entity::kScale | Entity::kRotation);
    EXPECT_TRUE(f.addEntityChild(0, f.getEntity(1)));
    EXPECT_FALSE(f.addEntityChild(1, f.getEntity(0)));  // an object takes no children

    // Refused: indices outside the tables, faces naming missing vertices, face numbers beyond.
    f.createEntity(3, "beyond", nullptr, nullptr, nullptr);
    EXPECT_EQ(f.getEntity(3), nullptr);
    EXPECT_EQ(meshOf(f, 1, {0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 1, 3}), nullptr);
    EXPECT_EQ(meshOf(f, 1, {}, {}), nullptr);
    const int16_t beyond[1] = {1}, first[1] = {0};
    f.createMeshFromFaces(1, 0, mesh, 1, beyond);
    EXPECT_EQ(f.getMesh(1), nullptr);
    f.createMeshFromFaces(1, 0, mesh, 1, first);
    ASSERT_NE(f.getMesh(1), nullptr);
    EXPECT_EQ(f.getMesh(1)->faceCount(), 1);
    EXPECT_EQ(f.getMesh(1)->vertexData().arrays()[0], mesh->vertexData().arrays()[0]);  // shared
}

TEST(SceneFactory, WhatIsNotAttachedGoesWithTheFactory) {
    Group root;
    {
        SceneFactory f;
        f.setRoot(&root);
        f.allocateEntities(2);
        f.createPointLight("lost", 0, false, {0, 0, 0, 1}, {1, 1, 1, 1}, {1, 1, 1, 1}, 0, 0, 0);
        f.createEntity(0, "kept", nullptr, nullptr, nullptr);
        f.addRootChild(f.getEntity(0));
        f.createEntity(1, "lost", nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(root.children().size(), 1u);
    // The lost light's OpenGL light is free again.
    const int slot = LightSlots::take();
    EXPECT_EQ(slot, 0);
    LightSlots::free(slot);
}

TEST(ModelImport, PlatformLoadsIntoTheExpectedTree) {
    Group* platform = loadModel("Plataforma", (kPlatformDir + "/p40_2.3ds").c_str(), kPlatformDir.c_str(), 0);
    ASSERT_NE(platform, nullptr);
    const Node* deck = findNamed(platform, "Plataforma.Deck");
    ASSERT_NE(deck, nullptr);
    for (const char* post : {"Plataforma.PostNE", "Plataforma.PostNW", "Plataforma.PostSW", "Plataforma.PostSE"}) {
        const Node* p = findNamed(deck, post);  // the posts stand on the deck
        ASSERT_NE(p, nullptr) << post;
    }
    const Survey platformParts = survey(platform);
    EXPECT_EQ(platformParts.meshes, 5);
    EXPECT_EQ(platformParts.triangles, 60);
    EXPECT_TRUE(platformParts.sound);

    // Two materials and the deck's texture, found in the texture folder.
    const Material *deckMaterial = nullptr, *brass = nullptr;
    const Texture* planks = nullptr;
    for (int i = 1; i < AppearanceRegistry::size(); ++i) {
        Appearance* a = AppearanceRegistry::lookup(i);
        if (!a || !a->getName()) continue;
        if (a->hasName("Plataforma.Deck")) {
            if (a->isClass("Material")) deckMaterial = static_cast<const Material*>(a);
        }
        if (a->hasName("Plataforma.Brass")) brass = static_cast<const Material*>(a);
        if (a->hasName("Plataforma.deck.tif")) planks = static_cast<const Texture*>(a);
    }
    ASSERT_TRUE(deckMaterial && brass && planks);
    EXPECT_NEAR(brass->getDiffuse()[0], 200 / 255.0f, 0.01f);
    EXPECT_EQ(planks->colourFile(), kPlatformDir + "/deck.tif");
    EXPECT_EQ(planks->width(), 128);

    // The lamp, 3000 above the deck and 1500 towards the front, in the model's y-up frame.
    // (The file's lamp node is an empty group of the same name; the light hangs from the root.)
    const PLight* lamp = nullptr;
    for (const Node* n : platform->children())
        if (n->hasName("Plataforma.Lamp") && dynamic_cast<const PLight*>(n)) lamp = static_cast<const PLight*>(n);
    ASSERT_NE(lamp, nullptr);
    EXPECT_NEAR(lamp->getPosition()[1], 3000, 1e-3);
    EXPECT_NEAR(lamp->getPosition()[2], 1500, 1e-3);

    // The deck's top at y = 0, 2400 across.
    const BoundsBox& box = BoundsTable::instance().box(platform->getBoundsIndex());
    EXPECT_NEAR(box.maxX - box.minX, 2400, 1e-2);
    EXPECT_NEAR(box.minY, -120, 1e-2);
    EXPECT_NEAR(box.maxY, 500, 1e-2);
    delete platform;

    Group* dark = loadModel(nullptr, (kPlatformDir + "/p40_2.3ds").c_str(), kPlatformDir.c_str(), 1);
    ASSERT_NE(dark, nullptr);
    for (const Node* n : dark->children()) EXPECT_FALSE(n->isClass("PLight"));  // lights skipped
    EXPECT_NE(findNamed(dark, "Deck"), nullptr);  // no root name: the file's own names
    delete dark;
}

TEST(ModelImport, SameModelInThreeFormatsGivesEquivalentTrees) {
    // Two coloured triangles in a named node, written by assimp as 3DS, OBJ and glTF.
    aiScene scene;
    scene.mRootNode = new aiNode("root");
    scene.mNumMaterials = 2;
    scene.mMaterials = new aiMaterial*[2];
    const aiColor3D colours[2] = {{0.9f, 0.1f, 0.1f}, {0.1f, 0.2f, 0.9f}};
    for (int i = 0; i < 2; ++i) {
        scene.mMaterials[i] = new aiMaterial;
        aiString name(i ? "Blue" : "Red");
        scene.mMaterials[i]->AddProperty(&name, AI_MATKEY_NAME);
        scene.mMaterials[i]->AddProperty(&colours[i], 1, AI_MATKEY_COLOR_DIFFUSE);
    }
    scene.mNumMeshes = 2;
    scene.mMeshes = new aiMesh*[2];
    for (unsigned i = 0; i < 2; ++i) {
        aiMesh* m = scene.mMeshes[i] = new aiMesh;
        m->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        m->mMaterialIndex = i;
        m->mNumVertices = 3;
        m->mVertices = new aiVector3D[3]{{0, 0, 0}, {10, 0, 0}, {0, 10.0f + 10 * i, 0}};
        m->mNumFaces = 1;
        m->mFaces = new aiFace[1];
        m->mFaces[0].mNumIndices = 3;
        m->mFaces[0].mIndices = new unsigned[3]{0, 1, 2};
    }
    aiNode* part = new aiNode("Part");
    part->mNumMeshes = 2;
    part->mMeshes = new unsigned[2]{0, 1};
    scene.mRootNode->addChildren(1, &part);

    Assimp::Exporter exporter;
    for (const char* format : {"3ds", "obj", "gltf2"}) {
        SCOPED_TRACE(format);
        const std::string file = scratchDir() + "same." + (std::string(format) == "gltf2" ? "gltf" : format);
        ASSERT_EQ(exporter.Export(&scene, format, file), AI_SUCCESS) << exporter.GetErrorString();
        Group* model = loadModel("M", file.c_str(), scratchDir().c_str(), 0);
        ASSERT_NE(model, nullptr);
        const Survey parts = survey(model);
        EXPECT_EQ(parts.triangles, 2);
        EXPECT_EQ(parts.meshes, 2);
        EXPECT_TRUE(parts.sound);
        // The same extents; assimp's 3DS writer leaves y up where its reader expects z up, so
        // the axes are compared in size order.
        const BoundsBox& box = BoundsTable::instance().box(model->getBoundsIndex());
        float extents[3] = {box.maxX - box.minX, box.maxY - box.minY, box.maxZ - box.minZ};
        std::sort(extents, extents + 3);
        EXPECT_NEAR(extents[0], 0, 1e-3);
        EXPECT_NEAR(extents[1], 10, 1e-3);
        EXPECT_NEAR(extents[2], 20, 1e-3);
        int red = 0;
        for (int i = 1; i < AppearanceRegistry::size(); ++i)
            if (const auto* m = dynamic_cast<const Material*>(AppearanceRegistry::lookup(i)))
                red += m->getDiffuse()[0] > 0.85f && m->getDiffuse()[2] < 0.15f;
        EXPECT_EQ(red, 1);
        delete model;
    }
}

TEST(ModelImport, DamagedPlatformFilesAreRefusedOrLoadSoundly) {
    const std::string good = bytesOf(kPlatformDir + "/p40_2.3ds");
    ASSERT_GT(good.size(), 1000u);
    const std::string path = scratchDir() + "damaged.3ds";
    std::mt19937 random(11);
    int refused = 0, loaded = 0;
    auto attempt = [&](const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
        Group* model = loadModel("P", path.c_str(), kPlatformDir.c_str(), 0);
        if (!model) return void(++refused);
        ++loaded;
        EXPECT_TRUE(survey(model).sound);
        delete model;
    };
    for (size_t n = 0; n < good.size(); n += 97) attempt(good.substr(0, n));
    for (int round = 0; round < 150; ++round) {
        std::string bytes = good;
        for (int k = 0; k < 6; ++k) bytes[random() % bytes.size()] = static_cast<char>(random());
        attempt(bytes);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(loaded, 0);
    EXPECT_EQ(loadModel("P", scratchDir().c_str(), ".", 0), nullptr);  // a directory
    EXPECT_EQ(loadModel("P", (scratchDir() + "none.3ds").c_str(), ".", 0), nullptr);
}

TEST(ModelImport, AnImporterThatFailsInAnyWayCostsOneLineAndNoHang) {
    // The child is the importer a hostile file may have taken over: whatever it does, the program
    // answers false with a reason and goes on. Each case is a small script standing in for it.
    const std::string dir = scratchDir() + "/importers";
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    const std::string model = dir + "/cube.obj";
    std::FILE* m = std::fopen(model.c_str(), "w");
    ASSERT_NE(m, nullptr);
    std::fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", m);
    std::fclose(m);
    struct Case {
        const char* name;
        const char* script;  // null: no importer at all
        const char* says;
    } cases[] = {
        {"missing", nullptr, "is missing"},
        {"crashes", "kill -SEGV $$", "crash"},
        {"short", "printf 'M\\020' >&3", "ends early"},
        {"lies", "printf 'M\\377\\377\\377\\377\\377\\377\\377\\177' >&3", "larger"},
        {"hangs", "exec sleep 60", "took longer"},
        {"talks", "printf 'E' >&3; head -c 50000000 /dev/zero | tr '\\0' 'x' >&3", "xxx..."},
    };
    for (const Case& c : cases) {
        const std::string program = dir + "/" + c.name;
        if (c.script) {
            std::FILE* f = std::fopen(program.c_str(), "w");
            ASSERT_NE(f, nullptr);
            std::fprintf(f, "#!/bin/sh\n%s\n", c.script);
            std::fclose(f);
            ASSERT_EQ(chmod(program.c_str(), 0755), 0);
        }
        setenv("TOVRAK_IMPORTER", program.c_str(), 1);
        ImportedModel out;
        std::string why;
        EXPECT_FALSE(importInChild(model, out, why)) << c.name;
        EXPECT_NE(why.find(c.says), std::string::npos) << c.name << ": " << why.substr(0, 200);
        EXPECT_LT(why.size(), 400u) << c.name;
        EXPECT_TRUE(out.meshes.empty()) << c.name;
    }
    unsetenv("TOVRAK_IMPORTER");
}

TEST(ModelImport, TheImporterRunsUnderItsLimitsAndTheResultsCountsAreChecked) {
    // The child's limits as the kernel holds them: an importer that writes /proc/self/limits.
    const std::string dir = scratchDir() + "/limits";
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    const std::string model = dir + "/cube.obj", program = dir + "/limits.sh", seen = dir + "/seen.txt";
    std::FILE* m = std::fopen(model.c_str(), "w");
    ASSERT_NE(m, nullptr);
    std::fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", m);
    std::fclose(m);
    std::FILE* p = std::fopen(program.c_str(), "w");
    ASSERT_NE(p, nullptr);
    std::fprintf(p, "#!/bin/sh\ncat /proc/self/limits > %s\n", seen.c_str());
    std::fclose(p);
    ASSERT_EQ(chmod(program.c_str(), 0755), 0);
    setenv("TOVRAK_IMPORTER", program.c_str(), 1);
    // The limits count every file the model could name: all of its folder.
    const ImportLimits expected = importLimitsFor(modelReadableBytes(model));
    ImportedModel out;
    std::string why;
    EXPECT_FALSE(importInChild(model, out, why));
    unsetenv("TOVRAK_IMPORTER");
    std::ifstream limits(seen);
    std::string line, address, stack;
    while (std::getline(limits, line)) {
        if (line.rfind("Max address space", 0) == 0) address = line;
        if (line.rfind("Max stack size", 0) == 0) stack = line;
    }
#ifndef TOVRAK_NO_MEMORY_LIMIT  // the sanitizers' build needs the address space they reserve
    EXPECT_NE(address.find(std::to_string(expected.memoryBytes)), std::string::npos) << address;
#endif
    EXPECT_NE(stack.find(std::to_string(expected.stackBytes)), std::string::npos) << stack;

    // A result that claims more items than its bytes hold is refused before anything is made.
    std::vector<uint8_t> bytes = encodeModel(ImportedModel{});
    ASSERT_GE(bytes.size(), 20u);
    const uint32_t claimed = 1u << 20;  // pictures, at 16 bytes into the stream (after the empty up source)
    std::memcpy(&bytes[16], &claimed, 4);
    EXPECT_FALSE(decodeModel(bytes.data(), bytes.size(), out, why));
    EXPECT_NE(why.find("too many pictures"), std::string::npos) << why;
}

TEST(ModelImport, ALinkLeadingOutOfTheModelsFolderIsRefused) {
    const std::string dir = scratchDir() + "/linked";
    ASSERT_EQ(system(("mkdir -p " + dir + "/model " + dir + "/elsewhere").c_str()), 0);
    std::FILE* f = std::fopen((dir + "/elsewhere/secret.png").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not yours", f);
    std::fclose(f);
    ASSERT_EQ(symlink((dir + "/elsewhere/secret.png").c_str(), (dir + "/model/skin.png").c_str()), 0);
    ASSERT_EQ(symlink("../elsewhere", (dir + "/model/textures").c_str()), 0);
    const ModelFolder folder(dir + "/model/cube.obj");
    std::string path, why;
    EXPECT_FALSE(folder.resolve("skin.png", path, why));
    EXPECT_NE(why.find("outside"), std::string::npos) << why;
    EXPECT_FALSE(folder.resolve("textures/secret.png", path, why));
    EXPECT_NE(why.find("outside"), std::string::npos) << why;
}

TEST(ModelImport, AnImporterThatLingersOrLeavesAChildBehindIsEndedWithTheRun) {
    const std::string dir = scratchDir() + "/lingering";
    ASSERT_EQ(system(("mkdir -p " + dir).c_str()), 0);
    const std::string model = dir + "/cube.obj", pidFile = dir + "/grandchild.pid";
    std::FILE* m = std::fopen(model.c_str(), "w");
    ASSERT_NE(m, nullptr);
    std::fputs("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", m);
    std::fclose(m);
    auto importer = [&](const std::string& name, const std::string& script) {
        const std::string path = dir + "/" + name;
        std::FILE* f = std::fopen(path.c_str(), "w");
        std::fprintf(f, "#!/bin/sh\n%s\n", script.c_str());
        std::fclose(f);
        chmod(path.c_str(), 0755);
        setenv("TOVRAK_IMPORTER", path.c_str(), 1);
    };
    ImportedModel out;
    std::string why;
    // Closes its pipe and lives on, idle: ended at the wall clock's backstop (10 s for a small
    // file), or at Ctrl-C.
    importer("lingers.sh", "exec 3>&-\nexec sleep 60");
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(importInChild(model, out, why));
    EXPECT_NE(why.find("took longer"), std::string::npos) << why;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    static std::chrono::steady_clock::time_point asked;
    asked = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    start = std::chrono::steady_clock::now();
    EXPECT_FALSE(importInChild(model, out, why, [] { return std::chrono::steady_clock::now() > asked; }));
    EXPECT_NE(why.find("interrupted"), std::string::npos) << why;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    // Starts a process of its own and ends: that process does not outlive the import.
    importer("starts.sh", "(exec 3>&-; exec sleep 60) &\necho $! > " + pidFile + "\nexit 1");
    EXPECT_FALSE(importInChild(model, out, why));
    unsetenv("TOVRAK_IMPORTER");
    std::ifstream in(pidFile);
    int pid = 0;
    ASSERT_TRUE(in >> pid);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string field, name, state;
        gone = !(stat >> field >> name >> state) || state == "Z";
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << pid;
}

TEST(ModelImport, AModelThatIsALinkLoadsWithTheFilesOfItsRealFolder) {
    const std::string dir = scratchDir() + "/library";
    ASSERT_EQ(system(("rm -rf " + dir + " && mkdir -p " + dir + "/models " + dir + "/mine").c_str()), 0);
    std::FILE* f = std::fopen((dir + "/models/cube.mtl").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("newmtl red\nKd 1 0 0\n", f);
    std::fclose(f);
    f = std::fopen((dir + "/models/cube.obj").c_str(), "w");
    std::fputs("mtllib cube.mtl\nusemtl red\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n", f);
    std::fclose(f);
    ASSERT_EQ(symlink((dir + "/models/cube.obj").c_str(), (dir + "/mine/cube.obj").c_str()), 0);
    ImportedModel out;
    std::string why;
    ASSERT_TRUE(importInChild(dir + "/mine/cube.obj", out, why)) << why;
    EXPECT_TRUE(out.warnings.empty()) << out.warnings.front();
    ASSERT_FALSE(out.materials.empty());
}
