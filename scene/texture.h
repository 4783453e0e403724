// A texture: an appearance that reads image files into an 8-bit pixel buffer whose sides are
// powers of two, uploads it once to an OpenGL texture object, and on every apply binds it and
// sets its wrap, filters, environment, coordinate generation and anisotropy for what it covers.
//
// Two sources: a colour picture with an optional alpha picture of the same size (read through
// imageio/image_file.h; an alpha texel is the alpha picture's luminance 0.3 R + 0.59 G + 0.11 B),
// or a paletted volume (scene/texture_files.h). Rows are bottom row first, as OpenGL takes them
// (docs/conventions.md, "Frames").
//
// Nested textures take the texture units 0 to 7 in order where GL_ARB_multitexture exists; a
// texture nested deeper, or nested at all without the extension, is not applied (one message per
// texture) but its restore still balances its apply. A failed load leaves the texture without a
// target and pixels: it binds nothing.
//
// OpenGL thread only: the extension answers and the nesting count are process-wide.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scene/node.h"

// Directory put before every texture file name ("dir/name"); none (null) leaves names as given.
void setTexturePath(const char* dir);
void clearTexturePath();
const char* texturePath();

class Texture : public Appearance {
public:
    Texture();
    ~Texture() override;
    const char* getClassName() const override { return "Texture"; }
    void dump(SceneWriter& w) override;

    // False, with one line on stderr naming the file, when a picture cannot be read.
    bool loadColor(const char* colourFile, const char* alphaFile);
    bool loadIndexed(const char* indexFile, const char* paletteFile, int w, int h, int d);
    // A picture already decoded: RGBA, bottom row first; RGB when every alpha is 255. `file` is
    // where it came from, which the scene dump shows. False (nothing kept) for no pixels or a
    // side beyond 16384.
    bool loadPixels(const char* file, int w, int h, const uint8_t* rgba);

    // coordinate GL_S, GL_T, GL_R or GL_Q; the plane is kept for GL_OBJECT_LINEAR and GL_EYE_LINEAR.
    void setTexGen(unsigned coordinate, unsigned mode, float a, float b, float c, float d);
    void setWrap(unsigned s, unsigned t, unsigned r);  // GL_CLAMP is kept as GL_CLAMP_TO_EDGE
    void setAnisotropy(float value);                   // 1 when above maxAnisotropy()
    static float maxAnisotropy();
    void setPixelFormat(unsigned format) { format_ = format; }
    void setInternalFormat(unsigned format) { internalFormat_ = format; }
    void setEnvMode(unsigned mode) { envMode_ = mode; }
    void setFilters(unsigned minFilter, unsigned magFilter, bool mipmap);
    void setCompress(bool on) { compress_ = on; }
    void setSize(int w, int h);  // presets the colour loader keeps; each 0 to 16384
    void setEnvColour(float r, float g, float b, float a);
    void setTextureMatrix(const float* m);  // null removes it

    void upload();       // creates and fills the texture object, leaving OpenGL's state as it was
    unsigned getGLName();
    void apply() override;
    void restore() override;
    bool isOpaque() const override { return opaque_; }

    unsigned target() const { return target_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int depth() const { return depth_; }
    unsigned format() const { return format_; }
    unsigned internalFormat() const { return internalFormat_; }
    const unsigned* wrap() const { return wrap_; }
    float anisotropy() const { return anisotropy_; }
    int paletteSize() const { return paletteSize_; }
    const std::vector<uint8_t>& pixels() const { return pixels_; }
    const std::string& colourFile() const { return colourFile_; }

private:
    std::unique_ptr<float[]> matrix_;
    unsigned glName_ = 0;
    bool opaque_ = true;
    unsigned target_ = 0;
    bool mipmap_ = false;
    int width_ = 0, height_ = 0, depth_ = 0;
    unsigned format_ = 0, internalFormat_ = 0;
    unsigned wrap_[3];
    unsigned magFilter_, minFilter_, envMode_;
    unsigned gen_[4] = {0, 0, 0, 0};
    int paletteSize_ = 0;
    bool compress_ = false;
    float planes_[4][4] = {};
    float envColour_[4] = {0, 0, 0, 1};
    float anisotropy_ = 1.0f;
    std::string colourFile_, alphaFile_, indexFile_, paletteFile_;
    std::vector<uint8_t> pixels_, palette_;
    bool bound_ = false;          // this apply selected a unit and bound the texture
    bool warnedNesting_ = false;  // the too-deep message is given once

    bool readColour();
    // Planes of w x h scaled to the texture's size, packed in its pixel format.
    void packPlanes(std::vector<uint8_t>& r, std::vector<uint8_t>& g, std::vector<uint8_t>& b,
                    std::vector<uint8_t>& alpha, int w, int h);
    void bindAndSetParameters();
};
