// The demonstration scene, built in code: a textured, lit box turning on a group whose child
// transform carries a small red box beside it, lit by one spot light from above and in front.
// The scene tool draws it to a screenshot and dumps it; the drawing tests check it.
#pragma once

#include <memory>
#include <string>

#include "scene/material.h"
#include "scene/mesh.h"
#include "scene/texture.h"

// A box of half-size `h` about the origin: 24 vertices (four per face, with the face's normal and
// texture coordinates 0..1), 12 triangles.
Mesh* makeBox(float h);

// A 64 x 64 checkerboard of 8 x 8 squares, yellow and blue, as a PNG file.
bool writeCheckerPicture(const std::string& path);

struct DemoScene {
    std::unique_ptr<CoordSys> root;
    Group* turntable = nullptr;  // the parent transform
    Object* box = nullptr;       // textured
    Object* moon = nullptr;      // red, placed by its own transform under the turntable
    SLight* spot = nullptr;
    Texture* texture = nullptr;
};

// The texture is read from `picture`; false in `ok` when it could not be.
DemoScene buildDemoScene(const std::string& picture, bool& ok);

// Clears a w x h viewport and draws the scene through SceneRenderer, from a camera 260 units in
// front of the origin and a little above it.
void drawDemoScene(DemoScene& scene, int w, int h);
