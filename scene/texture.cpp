#include "scene/texture.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>

#include "imageio/image_file.h"
#include "base/report.h"
#include "scene/gl_extensions.h"
#include "scene/texture_files.h"
#include "scene/vertex_data.h"

namespace {

std::unique_ptr<std::string> g_texturePath;

std::string prefixed(const char* name) { return g_texturePath ? *g_texturePath + "/" + name : std::string(name); }

// Answers of the driver, asked once each.
struct Once {
    bool asked = false, value = false;
    bool operator()(const char* extension) {
        if (!asked) asked = true, value = GLExtensions::extensionSupported(extension);
        return value;
    }
};
Once g_compression, g_anisotropic, g_multitexture, g_texture3D, g_paletted;

template <typename Proc>
Proc lookupOnce(const char* name) {
    static Proc proc = reinterpret_cast<Proc>(GLExtensions::getProcAddress(name));
    return proc;
}

int g_activeTextures = 0;  // textures applied and not yet restored, nested

uint8_t luminance(uint8_t r, uint8_t g, uint8_t b) { return static_cast<uint8_t>(0.3 * r + 0.59 * g + 0.11 * b); }

// Number of doublings from 1 until the palette size is reached, mapped to the smallest index
// format that holds it.
unsigned indexFormatFor(int paletteSize) {
    int b = 0;
    for (int n = 1; n < paletteSize; n *= 2) ++b;
    if (b == 1) return GL_COLOR_INDEX1_EXT;
    if (b == 2) return GL_COLOR_INDEX2_EXT;
    if (b == 3 || b == 4) return GL_COLOR_INDEX4_EXT;
    if (b >= 5 && b <= 8) return GL_COLOR_INDEX8_EXT;
    if (b >= 9 && b <= 12) return GL_COLOR_INDEX12_EXT;
    return GL_COLOR_INDEX16_EXT;
}

}  // namespace

void setTexturePath(const char* dir) {
    if (dir) g_texturePath = std::make_unique<std::string>(dir);
    else g_texturePath.reset();
}
void clearTexturePath() { g_texturePath.reset(); }
const char* texturePath() { return g_texturePath ? g_texturePath->c_str() : nullptr; }

Texture::Texture()
    : wrap_{GL_REPEAT, GL_REPEAT, GL_REPEAT}, magFilter_(GL_NEAREST), minFilter_(GL_NEAREST), envMode_(GL_MODULATE) {}

Texture::~Texture() {
    if (glName_) glDeleteTextures(1, &glName_);
}

// --- loading ---

bool Texture::loadColor(const char* colourFile, const char* alphaFile) {
    if (!colourFile) return false;
    format_ = internalFormat_ = alphaFile ? GL_RGBA : GL_RGB;
    colourFile_ = prefixed(colourFile);
    alphaFile_ = alphaFile ? prefixed(alphaFile) : std::string();
    for (int i = 0; i < 3; ++i) std::fill(planes_[i], planes_[i] + 4, 0.0f);
    setEnvColour(0, 0, 0, 1);
    return readColour();
}

bool Texture::readColour() {
    opaque_ = true;
    reportLine("Loading texture rgb file %s", colourFile_.c_str());
    int w = 0, h = 0;
    int code = imageInfo(colourFile_.c_str(), &w, &h, nullptr, nullptr);
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<uint8_t> r, g, b;
    if (code == kImageOk) {
        r.resize(n), g.resize(n), b.resize(n);
        code = imageLoadRGB(colourFile_.c_str(), w, h, r.data(), g.data(), b.data());
    }
    if (code != kImageOk) {
        reportError("texture file %s: %s", colourFile_.c_str(), imageErrorText(code));
        return false;
    }
    std::vector<uint8_t> alpha;
    if (format_ == GL_RGBA || format_ == GL_LUMINANCE_ALPHA) {
        reportLine("Loading texture alpha file %s", alphaFile_.c_str());
        int aw = 0, ah = 0;
        code = imageInfo(alphaFile_.c_str(), &aw, &ah, nullptr, nullptr);
        if (code == kImageOk && (aw != w || ah != h)) {
            reportError("alpha file %s: is %d x %d, the colour file %d x %d", alphaFile_.c_str(), aw, ah, w, h);
            return false;
        }
        std::vector<uint8_t> ar(n), ag(n), ab(n);
        if (code == kImageOk) code = imageLoadRGB(alphaFile_.c_str(), w, h, ar.data(), ag.data(), ab.data());
        if (code != kImageOk) {
            reportError("alpha file %s: %s", alphaFile_.c_str(), imageErrorText(code));
            return false;
        }
        alpha.resize(n);
        for (size_t i = 0; i < n; ++i) {
            alpha[i] = luminance(ar[i], ag[i], ab[i]);
            if (alpha[i] < 255) opaque_ = false;
        }
    }
    packPlanes(r, g, b, alpha, w, h);
    return true;
}

bool Texture::loadPixels(const char* file, int w, int h, const uint8_t* rgba) {
    if (!rgba || w <= 0 || h <= 0 || w > 16384 || h > 16384) return false;
    colourFile_ = file ? file : "";
    alphaFile_.clear();
    for (int i = 0; i < 3; ++i) std::fill(planes_[i], planes_[i] + 4, 0.0f);
    setEnvColour(0, 0, 0, 1);
    const size_t n = static_cast<size_t>(w) * h;
    std::vector<uint8_t> r(n), g(n), b(n), alpha(n);
    opaque_ = true;
    for (size_t i = 0; i < n; ++i) {
        r[i] = rgba[4 * i], g[i] = rgba[4 * i + 1], b[i] = rgba[4 * i + 2], alpha[i] = rgba[4 * i + 3];
        if (alpha[i] < 255) opaque_ = false;
    }
    format_ = internalFormat_ = opaque_ ? GL_RGB : GL_RGBA;
    if (opaque_) alpha.clear();
    packPlanes(r, g, b, alpha, w, h);
    return true;
}

void Texture::packPlanes(std::vector<uint8_t>& r, std::vector<uint8_t>& g, std::vector<uint8_t>& b,
                         std::vector<uint8_t>& alpha, int w, int h) {
    const int tw = width_ ? width_ : powerOfTwoAtLeast(w);
    const int th = height_ ? height_ : powerOfTwoAtLeast(h);
    const size_t tn = static_cast<size_t>(tw) * th;
    auto fitted = [&](std::vector<uint8_t>& plane) {
        if (tw == w && th == h) return;
        std::vector<uint8_t> scaled(tn);
        scalePlane(plane.data(), w, h, scaled.data(), tw, th);
        plane.swap(scaled);
    };
    fitted(r), fitted(g), fitted(b);
    if (!alpha.empty()) fitted(alpha);

    const int components = format_ == GL_RGBA ? 4 : format_ == GL_LUMINANCE_ALPHA ? 2 : format_ == GL_LUMINANCE ? 1 : 3;
    pixels_.resize(tn * components);
    uint8_t* p = pixels_.data();
    for (size_t i = 0; i < tn; ++i) {
        if (format_ == GL_LUMINANCE || format_ == GL_LUMINANCE_ALPHA) *p++ = luminance(r[i], g[i], b[i]);
        else *p++ = r[i], *p++ = g[i], *p++ = b[i];
        if (format_ == GL_RGBA || format_ == GL_LUMINANCE_ALPHA) *p++ = alpha[i];
    }
    width_ = tw, height_ = th;
    if (depth_) {
        target_ = GL_TEXTURE_3D_EXT;
    } else {
        if (width_ == 1) width_ = height_, height_ = 1;
        target_ = height_ == 1 ? GL_TEXTURE_1D : GL_TEXTURE_2D;
    }
}

bool Texture::loadIndexed(const char* indexFile, const char* paletteFile, int w, int h, int d) {
    if (!indexFile || !paletteFile) return false;
    format_ = GL_COLOR_INDEX;
    indexFile_ = prefixed(indexFile);
    paletteFile_ = prefixed(paletteFile);
    for (int i = 0; i < 3; ++i) std::fill(planes_[i], planes_[i] + 4, 0.0f);
    setEnvColour(0, 0, 0, 1);

    if (!g_texture3D("GL_EXT_texture3D")) {
        reportLine("Extension GL_EXT_texture3D is not supported, could not load index texture %s", indexFile_.c_str());
        return false;
    }
    if (!g_paletted("GL_EXT_paletted_texture")) {
        reportLine("Extension GL_EXT_paletted_texture is not supported, could not load index texture %s",
                   indexFile_.c_str());
        return false;
    }
    std::string error;
    reportLine("Loading texture color palette file %s", paletteFile_.c_str());
    bool ok = readPaletteFile(paletteFile_, palette_, paletteSize_, opaque_, error);
    if (ok) {
        reportLine("Loading texture index file %s", indexFile_.c_str());
        ok = readIndexFile(indexFile_, w, h, d, pixels_, width_, height_, depth_, error);
    }
    if (!ok) {
        reportError("%s", error.c_str());
        return false;
    }
    target_ = GL_TEXTURE_3D_EXT;
    internalFormat_ = indexFormatFor(paletteSize_);
    return true;
}

// --- settings ---

void Texture::setTexGen(unsigned coordinate, unsigned mode, float a, float b, float c, float d) {
    if (coordinate < GL_S || coordinate > GL_Q) return;
    const int i = static_cast<int>(coordinate - GL_S);
    gen_[i] = mode;
    if (mode == GL_OBJECT_LINEAR || mode == GL_EYE_LINEAR) planes_[i][0] = a, planes_[i][1] = b, planes_[i][2] = c, planes_[i][3] = d;
}

void Texture::setWrap(unsigned s, unsigned t, unsigned r) {
    const unsigned w[3] = {s, t, r};
    for (int i = 0; i < 3; ++i) wrap_[i] = w[i] == GL_CLAMP ? GL_CLAMP_TO_EDGE : w[i];
}

float Texture::maxAnisotropy() {
    if (!g_anisotropic("GL_EXT_texture_filter_anisotropic")) return 1.0f;
    float m = 1.0f;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &m);
    return m;
}

void Texture::setAnisotropy(float value) { anisotropy_ = value <= maxAnisotropy() ? value : 1.0f; }

void Texture::setFilters(unsigned minFilter, unsigned magFilter, bool mipmap) {
    minFilter_ = minFilter, magFilter_ = magFilter, mipmap_ = mipmap;
}

void Texture::setSize(int w, int h) {
    width_ = std::clamp(w, 0, kMaxImageSide);
    height_ = std::clamp(h, 0, kMaxImageSide);
}

void Texture::setEnvColour(float r, float g, float b, float a) {
    envColour_[0] = r, envColour_[1] = g, envColour_[2] = b, envColour_[3] = a;
}

void Texture::setTextureMatrix(const float* m) {
    if (!m) return matrix_.reset();
    if (!matrix_) matrix_.reset(new float[16]);
    std::copy(m, m + 16, matrix_.get());
}

// --- OpenGL ---

void Texture::bindAndSetParameters() {
    if (glName_ == 0) {
        glGenTextures(1, &glName_);
        glBindTexture(target_, glName_);
        if (compress_ && g_compression("GL_ARB_texture_compression") && format_ == internalFormat_) {
            reportLine("Using texture compression for texture %s", colourFile_.c_str());
            if (internalFormat_ == GL_RGB) internalFormat_ = GL_COMPRESSED_RGB_ARB;
            else if (internalFormat_ == GL_RGBA) internalFormat_ = GL_COMPRESSED_RGBA_ARB;
            else if (internalFormat_ == GL_LUMINANCE) internalFormat_ = GL_COMPRESSED_LUMINANCE_ARB;
            else if (internalFormat_ == GL_LUMINANCE_ALPHA) internalFormat_ = GL_COMPRESSED_LUMINANCE_ALPHA_ARB;
        }
        const auto texImage3D = lookupOnce<PFNGLTEXIMAGE3DPROC>("glTexImage3D");
        const void* data = pixels_.data();
        // Rows of 1 or 3 bytes per texel need not be 4-byte aligned.
        GLint alignment = 4;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        if (pixels_.empty()) {
            // A texture whose picture was not read uploads nothing.
        } else if (target_ == GL_TEXTURE_1D) {
            glTexImage1D(target_, 0, internalFormat_, width_, 0, format_, GL_UNSIGNED_BYTE, data);
            if (mipmap_) gluBuild1DMipmaps(target_, internalFormat_, width_, format_, GL_UNSIGNED_BYTE, data);
        } else if (target_ == GL_TEXTURE_2D) {
            glTexImage2D(target_, 0, internalFormat_, width_, height_, 0, format_, GL_UNSIGNED_BYTE, data);
            if (mipmap_) gluBuild2DMipmaps(target_, internalFormat_, width_, height_, format_, GL_UNSIGNED_BYTE, data);
        } else if (target_ == GL_TEXTURE_3D_EXT && texImage3D) {
            texImage3D(target_, 0, internalFormat_, width_, height_, depth_, 0, format_, GL_UNSIGNED_BYTE, data);
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    } else {
        glBindTexture(target_, glName_);
    }
    if (target_ == GL_TEXTURE_3D_EXT) glTexParameteri(target_, GL_TEXTURE_WRAP_R, wrap_[2]);
    if (target_ == GL_TEXTURE_3D_EXT || target_ == GL_TEXTURE_2D) glTexParameteri(target_, GL_TEXTURE_WRAP_T, wrap_[1]);
    if (target_ == GL_TEXTURE_3D_EXT || target_ == GL_TEXTURE_2D || target_ == GL_TEXTURE_1D)
        glTexParameteri(target_, GL_TEXTURE_WRAP_S, wrap_[0]);
    glTexParameteri(target_, GL_TEXTURE_MAG_FILTER, magFilter_);
    glTexParameteri(target_, GL_TEXTURE_MIN_FILTER, minFilter_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode_);
    if (envMode_ == GL_BLEND) glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, envColour_);
    if (!palette_.empty())
        if (const auto colorTable = lookupOnce<PFNGLCOLORTABLEEXTPROC>("glColorTableEXT"))
            colorTable(target_, GL_RGBA8, paletteSize_, GL_RGBA, GL_UNSIGNED_BYTE, palette_.data());
    for (int i = 0; i < 4; ++i) {
        if (!gen_[i]) continue;
        const GLenum coordinate = GL_S + i;
        glTexGeni(coordinate, GL_TEXTURE_GEN_MODE, gen_[i]);
        if (gen_[i] == GL_OBJECT_LINEAR) glTexGenfv(coordinate, GL_OBJECT_PLANE, planes_[i]);
        if (gen_[i] == GL_EYE_LINEAR) glTexGenfv(coordinate, GL_EYE_PLANE, planes_[i]);
    }
    if (g_anisotropic("GL_EXT_texture_filter_anisotropic"))
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, anisotropy_);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

void Texture::upload() {
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPushAttrib(GL_TEXTURE_BIT);
    bindAndSetParameters();
    glPopAttrib();
    glPopClientAttrib();
}

unsigned Texture::getGLName() {
    bindAndSetParameters();
    return glName_;
}

void Texture::apply() {
    if (!isEnabled()) return;
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPushAttrib(GL_TEXTURE_BIT);
    bound_ = false;
    const int outer = g_activeTextures++;
    const bool units = g_multitexture("GL_ARB_multitexture");
    const auto activeTexture = units ? lookupOnce<PFNGLACTIVETEXTUREARBPROC>("glActiveTextureARB") : nullptr;
    // Without units only the outermost texture applies, by design; with them, a ninth is refused.
    const bool tooDeep = units ? !activeTexture || outer >= kMaxTextureUnits : outer > 0;
    if (tooDeep) {
        if (units && !warnedNesting_)
            reportError("texture %s: is nested %d deep, beyond the %d texture units; it is not applied",
                        colourFile_.c_str(), outer + 1, kMaxTextureUnits);
        warnedNesting_ = warnedNesting_ || units;
        return;
    }
    if (activeTexture) activeTexture(GL_TEXTURE0_ARB + outer);
    bound_ = true;
    bindAndSetParameters();
    glEnable(target_);
    if (!palette_.empty()) glEnable(GL_COLOR_TABLE);
    const GLenum genCaps[4] = {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_TEXTURE_GEN_R, GL_TEXTURE_GEN_Q};
    for (int i = 0; i < 4; ++i)
        if (gen_[i]) glEnable(genCaps[i]);
    if (matrix_) {
        glMatrixMode(GL_TEXTURE);
        glLoadMatrixf(matrix_.get());
        glMatrixMode(GL_MODELVIEW);
    }
}

void Texture::restore() {
    if (!isEnabled()) return;
    if (matrix_ && bound_) {
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
    }
    glPopAttrib();
    glPopClientAttrib();
    if (g_activeTextures > 0) --g_activeTextures;
}
