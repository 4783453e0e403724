#include "tools/demo_scene.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "imageio/png_file.h"
#include "scene/scene_renderer.h"

Mesh* makeBox(float h) {
    // Per face: the normal's axis and sign; the face's two in-plane axes follow from it.
    const int axes[6] = {0, 0, 1, 1, 2, 2};
    const float signs[6] = {1, -1, 1, -1, 1, -1};
    std::vector<float> positions, normals, uvs;
    for (int f = 0; f < 6; ++f) {
        const int n = axes[f], u = (n + 1) % 3, v = (n + 2) % 3;
        const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (const auto& c : corners) {
            float p[3], normal[3] = {0, 0, 0};
            p[n] = signs[f] * h;
            // Mirrored faces swap their in-plane axes so every face winds counter-clockwise.
            p[u] = (signs[f] > 0 ? c[0] : c[1]) * h;
            p[v] = (signs[f] > 0 ? c[1] : c[0]) * h;
            normal[n] = signs[f];
            positions.insert(positions.end(), p, p + 3);
            normals.insert(normals.end(), normal, normal + 3);
            uvs.push_back((c[0] + 1) / 2);
            uvs.push_back((c[1] + 1) / 2);
        }
    }
    auto* mesh = new Mesh;
    auto array = [&](int kind, int components, const std::vector<float>& values) {
        auto* a = new VertexAttribArray(24, kind, components);
        a->set(24, values.data());
        mesh->addAttribArray(a);
    };
    array(kAttribNormal, 3, normals);
    array(kAttribTexCoord0, 2, uvs);
    array(kAttribPosition, 3, positions);
    auto* triangles = new TriangleSet(12, 24);
    for (uint32_t f = 0; f < 6; ++f) {
        triangles->setTriangle(2 * f, 4 * f, 4 * f + 1, 4 * f + 2);
        triangles->setTriangle(2 * f + 1, 4 * f, 4 * f + 2, 4 * f + 3);
    }
    mesh->addTriangleSet(triangles);
    return mesh;
}

bool writeCheckerPicture(const std::string& path) {
    RgbImage image;
    image.width = image.height = 64;
    image.pixels.resize(64 * 64 * 3);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            unsigned char* p = &image.pixels[3 * (y * 64 + x)];
            const bool yellow = ((x / 8) + (y / 8)) % 2 == 0;
            p[0] = yellow ? 250 : 40, p[1] = yellow ? 210 : 90, p[2] = yellow ? 40 : 230;
        }
    std::string error;
    return writePng(path, image, error);
}

DemoScene buildDemoScene(const std::string& picture, bool& ok) {
    DemoScene s;
    s.root = std::make_unique<CoordSys>();
    s.root->setName("demo");

    s.spot = new SLight(0, 180, 220);
    s.spot->setName("spot");
    s.spot->setDirection(0, -180, -220);
    s.spot->setCutoff(35);
    s.spot->setAmbient(0.25f, 0.25f, 0.25f, 1);
    s.root->addChild(s.spot);

    auto* white = new Material(0.9f, 0.9f, 0.9f, 1);
    white->setName("white");
    white->setSpecular(0.3f, 0.3f, 0.3f, 1);
    white->setShininess(16);
    s.turntable = new Group(white);
    s.turntable->setName("turntable");
    s.turntable->setRotation(30, 0, 1, 0);
    s.root->addChild(s.turntable);

    s.texture = new Texture;
    s.texture->setName("checker");
    ok = s.texture->loadColor(picture.c_str(), nullptr);
    s.texture->setFilters(GL_LINEAR, GL_LINEAR, false);
    s.box = new Object(s.texture);
    s.box->setName("box");
    s.box->setRotation(20, 1, 0, 0);
    s.box->addShape(makeBox(45));
    s.turntable->addChild(s.box);

    auto* red = new Material(0.9f, 0.15f, 0.1f, 1);
    red->setName("red");
    s.moon = new Object(red);
    s.moon->setName("moon");
    s.moon->setPosition(-95, 55, 30);
    s.moon->setRotation(40, 1, 1, 0);
    s.moon->setScale(0.5f, 0.5f, 0.5f);
    s.moon->addShape(makeBox(25));
    s.turntable->addChild(s.moon);
    return s;
}

void drawDemoScene(DemoScene& scene, int w, int h) {
    glViewport(0, 0, w, h);
    glClearColor(0.1f, 0.1f, 0.12f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<double>(w) / h, 10.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(0, 60, 260, 0, 0, 0, 0, 1, 0);
    glPushAttrib(GL_ENABLE_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_NORMALIZE);
    SceneRenderer renderer;
    renderer.drawRoot(*scene.root);
    glPopAttrib();
}
