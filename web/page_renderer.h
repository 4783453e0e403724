// The page's drawing, in WebGL: what the window draws (the live and processed frames in their
// slots, the character, the cone and the model on the target), from the same frames and the same
// camera matrices, so the page and the window show the same picture for the same frame.
//
// Slots: each frame is drawn into a slot of 320 x 240 times `scale`, 10 x `scale` pixels from the
// canvas' edges, as in the window (window/layout.h). Side by side, the canvas is 660 x 260 (times
// scale) with the live frame on the left; stacked (a phone held upright), 340 x 500 with the live
// frame on top. GL counts pixels from the canvas' bottom-left corner, as the window does
// (docs/conventions.md, "OpenGL matrices and the display").
#pragma once

#include <cstdint>
#include <vector>

#include "models/imported_model.h"

struct AnimModel;
struct ShownModel;

struct PageLayout {
    bool stacked = false;
    int scale = 1;
    int canvasWidth() const { return (stacked ? 340 : 660) * scale; }
    int canvasHeight() const { return (stacked ? 500 : 260) * scale; }
    int liveX() const { return 10 * scale; }
    int liveY() const { return (stacked ? 250 : 10) * scale; }
    int processedX() const { return (stacked ? 10 : 330) * scale; }
    int processedY() const { return 10 * scale; }
    int slotWidth() const { return 320 * scale; }
    int slotHeight() const { return 240 * scale; }
};

// What one pass draws; null pointers are left out.
struct PageContent {
    const uint8_t* live = nullptr;       // B G R, row 0 at the bottom
    const uint8_t* processed = nullptr;  // the same size
    int width = 0, height = 0;
    const double* modelview = nullptr;   // the camera matrices (column-major), or null: no pose
    const double* projection = nullptr;
    AnimModel* character = nullptr;      // key m
    bool cone = false;                   // key n
    const ShownModel* model = nullptr;   // key b, with its meshes given to setModel
};

class PageRenderer {
public:
    // False when WebGL cannot be had on the canvas (the page says so).
    bool init(const char* canvasSelector);
    void setLayout(const PageLayout& layout) { layout_ = layout; }
    const PageLayout& layout() const { return layout_; }
    // The character's skin: R G B, bottom row first.
    void setSkin(const uint8_t* rgb, int width, int height);
    // The model drawn with key b: its meshes, placed by their nodes, in the file's own axes.
    void setModel(const ImportedModel& model);
    void draw(const PageContent& content);

private:
    struct Mesh {
        std::vector<float> vertices;  // x y z, nx ny nz, r g b a, u v
        int texture = -1;             // into textures_, or -1
        unsigned buffer = 0;
        int count = 0;
    };
    void drawFrame(const uint8_t* bgr, int width, int height, int x, int y, unsigned& texture);
    void drawCharacter(AnimModel& character, const double* modelview, const double* projection);
    void drawLit(const Mesh& mesh, const float modelview[16], const float projection[16], bool forCone,
                 const float fillEye[3]);
    void drawCone(const double* modelview, const double* projection);
    void drawModel(const ShownModel& model, const double* modelview, const double* projection);
    unsigned uploadTexture(const uint8_t* pixels, int width, int height, bool rgba);

    PageLayout layout_;
    unsigned flatProgram_ = 0, litProgram_ = 0;
    unsigned quadBuffer_ = 0, characterBuffer_ = 0;
    unsigned liveTexture_ = 0, processedTexture_ = 0, skinTexture_ = 0;
    std::vector<uint8_t> rgb_;           // a frame turned to R G B for upload
    std::vector<float> characterVertices_;
    Mesh cone_;
    std::vector<Mesh> model_;
    std::vector<unsigned> textures_;
};
