// Draws the demonstration scene and writes what a person needs to look at it:
//   FOLDER/scene.png          the picture (320 x 240)
//   FOLDER/scene.txt          its scene description, with FOLDER/scene_mesh<N>.msh beside it
//   FOLDER/checker.png        the texture picture it was drawn with
// Usage: scene_demo FOLDER (needs a display; run it under xvfb-run without one)
#include <GL/freeglut.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "imageio/png_file.h"
#include "scene/scene_writer.h"
#include "tools/demo_scene.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: scene_demo FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DEPTH | GLUT_DOUBLE);
    glutInitWindowSize(320, 240);
    glutCreateWindow("Tovrak scene");

    bool ok = writeCheckerPicture(folder + "/checker.png");
    DemoScene scene = buildDemoScene(folder + "/checker.png", ok);
    if (!ok) {
        std::fprintf(stderr, "Error: the texture picture %s/checker.png could not be made or read\n", folder.c_str());
        return 1;
    }
    drawDemoScene(scene, 320, 240);
    glFinish();

    RgbImage image;
    image.width = 320, image.height = 240;
    image.pixels.resize(320 * 240 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    std::vector<unsigned char> bottomUp(image.pixels.size());
    glReadPixels(0, 0, 320, 240, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    // OpenGL reads the bottom row first; PNG files start at the top (docs/conventions.md).
    for (int y = 0; y < 240; ++y)
        std::copy_n(&bottomUp[3 * 320 * (239 - y)], 3 * 320, &image.pixels[3 * 320 * y]);
    std::string error;
    if (!writePng(folder + "/scene.png", image, error)) {
        std::fprintf(stderr, "Error: %s\n", error.c_str());
        return 1;
    }
    if (!writeSceneFile(*scene.root, folder + "/scene.txt", folder + "/scene_mesh", error)) {
        std::fprintf(stderr, "Error: %s/scene.txt %s\n", folder.c_str(), error.c_str());
        return 1;
    }
    std::printf("Wrote %s/scene.png and %s/scene.txt\n", folder.c_str(), folder.c_str());
    return 0;
}
