#include "web/page_renderer.h"

#include <GLES2/gl2.h>
#include <emscripten/html5.h>

#include <array>
#include <cmath>
#include <cstring>

#include "models/md2_model.h"
#include "models/placement.h"
#include "models/shown_model.h"

namespace {

// Frames and the character: a texture or one colour, no light (the window draws them so).
const char* kFlatVertex = R"(
attribute vec3 position; attribute vec2 uv;
uniform mat4 transform; varying vec2 v_uv;
void main() { v_uv = uv; gl_Position = transform * vec4(position, 1.0); })";
const char* kFlatFragment = R"(
precision mediump float;
uniform sampler2D picture; varying vec2 v_uv;
void main() { gl_FragColor = texture2D(picture, v_uv); })";

// The cone and the user's model: OpenGL's fixed-function light, per fragment, both sides lit.
// Colour = ambient * material + sum over lights of diffuse * max(n.l, 0) * material
//        + specular * max(n.h, 0)^shininess, with h the half vector to a viewer at infinity (0 0 1).
const char* kLitVertex = R"(
attribute vec3 position; attribute vec3 normal; attribute vec4 colour; attribute vec2 uv;
uniform mat4 modelview; uniform mat4 projection;
varying vec3 v_normal; varying vec4 v_colour; varying vec2 v_uv;
void main() {
  v_normal = mat3(modelview) * normal; v_colour = colour; v_uv = uv;
  gl_Position = projection * modelview * vec4(position, 1.0);
})";
const char* kLitFragment = R"(
precision mediump float;
uniform vec3 light0; uniform vec3 light0Colour; uniform vec3 light1; uniform vec3 light1Colour;
uniform vec3 ambient; uniform vec3 specular; uniform float shininess; uniform bool textured;
uniform sampler2D picture;
varying vec3 v_normal; varying vec4 v_colour; varying vec2 v_uv;
void main() {
  vec3 n = normalize(v_normal);
  if (!gl_FrontFacing) n = -n;
  vec4 base = textured ? v_colour * texture2D(picture, v_uv) : v_colour;
  vec3 lit = ambient * base.rgb;
  lit += light0Colour * max(dot(n, light0), 0.0) * base.rgb;
  lit += light1Colour * max(dot(n, light1), 0.0) * base.rgb;
  float facing = max(dot(n, normalize(light0 + vec3(0.0, 0.0, 1.0))), 0.0);
  if (shininess > 0.0) lit += specular * pow(facing, shininess);
  gl_FragColor = vec4(min(lit, vec3(1.0)), base.a);
})";

unsigned compile(unsigned kind, const char* source) {
    const unsigned shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

unsigned link(const char* vertex, const char* fragment, bool lit) {
    const unsigned program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vertex));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, fragment));
    // Fixed attribute slots, the same in both programs.
    glBindAttribLocation(program, 0, "position");
    glBindAttribLocation(program, 1, lit ? "normal" : "uv");
    if (lit) {
        glBindAttribLocation(program, 2, "colour");
        glBindAttribLocation(program, 3, "uv");
    }
    glLinkProgram(program);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    return ok ? program : 0;
}

void toFloats(const double* in, float out[16]) {
    for (int i = 0; i < 16; ++i) out[i] = static_cast<float>(in[i]);
}

// c = a b, column-major 4 x 4.
void multiply(const float a[16], const float b[16], float c[16]) {
    for (int col = 0; col < 4; ++col)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[4 * k + row] * b[4 * col + k];
            c[4 * col + row] = sum;
        }
}

// The direction d of the target frame in eye coordinates: the modelview's rotation times d,
// normalised.
void eyeDirection(const float modelview[16], const float d[3], float out[3]) {
    float length = 0;
    for (int r = 0; r < 3; ++r) {
        out[r] = modelview[r] * d[0] + modelview[4 + r] * d[1] + modelview[8 + r] * d[2];
        length += out[r] * out[r];
    }
    length = std::sqrt(length);
    for (int r = 0; r < 3; ++r) out[r] = length > 0 ? out[r] / length : 0;
}

void normalised(float x, float y, float z, float out[3]) {
    const float length = std::sqrt(x * x + y * y + z * z);
    out[0] = x / length, out[1] = y / length, out[2] = z / length;
}

constexpr int kStride = 12;  // floats a lit vertex: position 3, normal 3, colour 4, uv 2

void addVertex(std::vector<float>& v, const float p[3], const float n[3], const float colour[4], const float uv[2]) {
    v.insert(v.end(), p, p + 3);
    v.insert(v.end(), n, n + 3);
    v.insert(v.end(), colour, colour + 4);
    v.insert(v.end(), uv, uv + 2);
}

// The window's cone: 30 mm across its base on the target, 100 mm tall, 64 slices; its sides'
// normals lean out by the slope (h, r) and its base faces down.
std::vector<float> coneVertices() {
    const float radius = 30, height = 100, colour[4] = {0.1f, 0.5f, 0.8f, 1}, uv[2] = {0, 0};
    const int slices = 64;
    std::vector<float> v;
    const float slant = std::sqrt(radius * radius + height * height);
    for (int i = 0; i < slices; ++i) {
        const float a0 = 2 * static_cast<float>(M_PI) * i / slices, a1 = 2 * static_cast<float>(M_PI) * (i + 1) / slices;
        const float p0[3] = {radius * std::cos(a0), radius * std::sin(a0), 0};
        const float p1[3] = {radius * std::cos(a1), radius * std::sin(a1), 0};
        const float apex[3] = {0, 0, height}, centre[3] = {0, 0, 0}, down[3] = {0, 0, -1};
        const float n0[3] = {std::cos(a0) * height / slant, std::sin(a0) * height / slant, radius / slant};
        const float n1[3] = {std::cos(a1) * height / slant, std::sin(a1) * height / slant, radius / slant};
        float nApex[3];
        normalised(n0[0] + n1[0], n0[1] + n1[1], n0[2] + n1[2], nApex);
        addVertex(v, p0, n0, colour, uv), addVertex(v, p1, n1, colour, uv), addVertex(v, apex, nApex, colour, uv);
        addVertex(v, p1, down, colour, uv), addVertex(v, p0, down, colour, uv), addVertex(v, centre, down, colour, uv);
    }
    return v;
}

void bindLitAttributes() {
    for (int a = 0; a < 4; ++a) glEnableVertexAttribArray(a);
    const int sizes[4] = {3, 3, 4, 2}, offsets[4] = {0, 3, 6, 10};
    for (int a = 0; a < 4; ++a)
        glVertexAttribPointer(a, sizes[a], GL_FLOAT, GL_FALSE, kStride * sizeof(float),
                              reinterpret_cast<const void*>(offsets[a] * sizeof(float)));
}

void unbindAttributes() {
    for (int a = 0; a < 4; ++a) glDisableVertexAttribArray(a);
}

}  // namespace

bool PageRenderer::init(const char* canvasSelector) {
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.depth = 1;
    attributes.antialias = 1;
    attributes.alpha = 0;
    // The screenshot button reads the canvas after the pass that drew it.
    attributes.preserveDrawingBuffer = 1;
    const auto context = emscripten_webgl_create_context(canvasSelector, &attributes);
    if (context <= 0 || emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS) return false;
    flatProgram_ = link(kFlatVertex, kFlatFragment, false);
    litProgram_ = link(kLitVertex, kLitFragment, true);
    if (!flatProgram_ || !litProgram_) return false;
    // The frames' quad: the slot's corners (x y z) and their texture coordinates, made once.
    static const float kQuad[] = {-1, -1, 0, 0, 0, 1, -1, 0, 1, 0, -1, 1, 0, 0, 1, 1, 1, 0, 1, 1};
    glGenBuffers(1, &quadBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    glGenBuffers(1, &characterBuffer_);
    cone_.vertices = coneVertices();
    cone_.count = static_cast<int>(cone_.vertices.size() / kStride);
    glGenBuffers(1, &cone_.buffer);
    glBindBuffer(GL_ARRAY_BUFFER, cone_.buffer);
    glBufferData(GL_ARRAY_BUFFER, cone_.vertices.size() * sizeof(float), cone_.vertices.data(), GL_STATIC_DRAW);
    // Frames are rows of 3 bytes a pixel, packed (docs/conventions.md, "Frames").
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    return true;
}

unsigned PageRenderer::uploadTexture(const uint8_t* pixels, int width, int height, bool rgba) {
    unsigned texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    const GLenum format = rgba ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    const bool powerOfTwo = (width & (width - 1)) == 0 && (height & (height - 1)) == 0;
    // WebGL 1 mipmaps and repeats only pictures whose sides are powers of two.
    if (powerOfTwo) glGenerateMipmap(GL_TEXTURE_2D);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, powerOfTwo ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, powerOfTwo ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, powerOfTwo ? GL_REPEAT : GL_CLAMP_TO_EDGE);
    return texture;
}

void PageRenderer::setSkin(const uint8_t* rgb, int width, int height) {
    // The bitmap reader gives R G B, bottom row first: texture order (docs/conventions.md, "Frames").
    skinTexture_ = uploadTexture(rgb, width, height, false);
}

void PageRenderer::setModel(const ImportedModel& model) {
    for (Mesh& m : model_) glDeleteBuffers(1, &m.buffer);
    if (!textures_.empty()) glDeleteTextures(static_cast<int>(textures_.size()), textures_.data());
    model_.clear();
    textures_.clear();
    for (const ImportedPicture& p : model.pictures) textures_.push_back(uploadTexture(p.rgba.data(), p.width, p.height, true));
    // Each node's meshes, placed by the product of the transforms from the root down (parents
    // come before their children), with normals turned by the inverse transpose.
    const std::vector<std::array<float, 16>> world = nodeWorldTransforms(model);
    for (size_t i = 0; i < model.nodes.size(); ++i) {
        const ImportedNode& node = model.nodes[i];
        const float* m = world[i].data();
        // Cofactor matrix of the upper 3 x 3 = det * inverse transpose: the right normals for
        // any invertible transform, mirrored ones included (their determinant flips the sign).
        const float a[9] = {m[0], m[4], m[8], m[1], m[5], m[9], m[2], m[6], m[10]};  // row-major
        const float cof[9] = {a[4] * a[8] - a[5] * a[7], a[5] * a[6] - a[3] * a[8], a[3] * a[7] - a[4] * a[6],
                              a[2] * a[7] - a[1] * a[8], a[0] * a[8] - a[2] * a[6], a[1] * a[6] - a[0] * a[7],
                              a[1] * a[5] - a[2] * a[4], a[2] * a[3] - a[0] * a[5], a[0] * a[4] - a[1] * a[3]};
        const float det = a[0] * cof[0] + a[1] * cof[1] + a[2] * cof[2];
        const float sign = det < 0 ? -1.0f : 1.0f;
        for (int meshIndex : node.meshes) {
            const ImportedMesh& src = model.meshes[meshIndex];
            const ImportedMaterial* material =
                src.material >= 0 && src.material < static_cast<int>(model.materials.size()) ? &model.materials[src.material] : nullptr;
            Mesh mesh;
            mesh.texture = material && material->picture >= 0 && !src.uv.empty() ? material->picture : -1;
            const float plain[4] = {material ? material->diffuse.r : 0.8f, material ? material->diffuse.g : 0.8f,
                                    material ? material->diffuse.b : 0.8f, material ? material->diffuse.a : 1.0f};
            const bool hasNormals = src.normals.size() == src.positions.size();
            const bool hasColours = src.colours.size() == 4 * static_cast<size_t>(src.vertexCount());
            mesh.vertices.reserve(src.faces.size() * kStride);
            for (size_t f = 0; f + 2 < src.faces.size(); f += 3) {
                // A face's own normal, for vertices the file gives none.
                float corner[3][3];
                for (int k = 0; k < 3; ++k) {
                    const float* p = &src.positions[3 * src.faces[f + k]];
                    for (int r = 0; r < 3; ++r) corner[k][r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
                }
                const float e1[3] = {corner[1][0] - corner[0][0], corner[1][1] - corner[0][1], corner[1][2] - corner[0][2]};
                const float e2[3] = {corner[2][0] - corner[0][0], corner[2][1] - corner[0][1], corner[2][2] - corner[0][2]};
                float faceNormal[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
                const float length = std::sqrt(faceNormal[0] * faceNormal[0] + faceNormal[1] * faceNormal[1] + faceNormal[2] * faceNormal[2]);
                for (float& c : faceNormal) c = length > 0 ? c / length : 0;
                for (int k = 0; k < 3; ++k) {
                    const uint32_t v = src.faces[f + k];
                    float normal[3];
                    if (hasNormals) {
                        const float* n = &src.normals[3 * v];
                        for (int r = 0; r < 3; ++r)
                            normal[r] = sign * (cof[3 * r] * n[0] + cof[3 * r + 1] * n[1] + cof[3 * r + 2] * n[2]);
                    } else {
                        std::memcpy(normal, faceNormal, sizeof normal);
                    }
                    const float* colour = hasColours ? &src.colours[4 * v] : plain;
                    const float uv[2] = {src.uv.empty() ? 0 : src.uv[2 * v], src.uv.empty() ? 0 : src.uv[2 * v + 1]};
                    addVertex(mesh.vertices, corner[k], normal, colour, uv);
                }
            }
            mesh.count = static_cast<int>(mesh.vertices.size() / kStride);
            if (mesh.count == 0) continue;
            glGenBuffers(1, &mesh.buffer);
            glBindBuffer(GL_ARRAY_BUFFER, mesh.buffer);
            glBufferData(GL_ARRAY_BUFFER, mesh.vertices.size() * sizeof(float), mesh.vertices.data(), GL_STATIC_DRAW);
            std::vector<float>().swap(mesh.vertices);  // the GPU has it
            model_.push_back(std::move(mesh));
        }
    }
}

void PageRenderer::drawFrame(const uint8_t* bgr, int width, int height, int x, int y, unsigned& texture) {
    // B G R to R G B: WebGL takes no B G R pictures. Row 0 stays the bottom row, which is
    // texture row 0 (docs/conventions.md, "Frames").
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    rgb_.resize(bytes);
    for (size_t i = 0; i < bytes; i += 3) rgb_[i] = bgr[i + 2], rgb_[i + 1] = bgr[i + 1], rgb_[i + 2] = bgr[i];
    if (!texture) glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb_.data());
    // The window scales a frame into its slot pixel by pixel (glPixelZoom): nearest, as it does.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glViewport(x, y, layout_.slotWidth(), layout_.slotHeight());
    static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUseProgram(flatProgram_);
    glUniformMatrix4fv(glGetUniformLocation(flatProgram_, "transform"), 1, GL_FALSE, kIdentity);
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer_);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 5 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 5 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    unbindAttributes();
}

void PageRenderer::drawCharacter(AnimModel& character, const double* modelview, const double* projection) {
    animatedTriangles(character);
    const size_t corners = character.posePositions.size() / 3;
    if (corners == 0 || character.poseUv.size() != 2 * corners || !skinTexture_) return;
    characterVertices_.resize(corners * 5);
    for (size_t i = 0; i < corners; ++i) {
        std::memcpy(&characterVertices_[5 * i], &character.posePositions[3 * i], 3 * sizeof(float));
        std::memcpy(&characterVertices_[5 * i + 3], &character.poseUv[2 * i], 2 * sizeof(float));
    }
    double placed[16];
    registeredModelMatrix(modelview, placed);
    float p[16], mv[16], transform[16];
    toFloats(projection, p), toFloats(placed, mv);
    multiply(p, mv, transform);
    // As the window: the faces wound clockwise (its front faces) are culled, the rest depth-tested.
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_FRONT);
    glUseProgram(flatProgram_);
    glUniformMatrix4fv(glGetUniformLocation(flatProgram_, "transform"), 1, GL_FALSE, transform);
    glBindTexture(GL_TEXTURE_2D, skinTexture_);
    glBindBuffer(GL_ARRAY_BUFFER, characterBuffer_);
    glBufferData(GL_ARRAY_BUFFER, characterVertices_.size() * sizeof(float), characterVertices_.data(), GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 5 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 5 * sizeof(float), reinterpret_cast<const void*>(3 * sizeof(float)));
    glDrawArrays(GL_TRIANGLES, 0, static_cast<int>(corners));
    unbindAttributes();
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
}

void PageRenderer::drawLit(const Mesh& mesh, const float modelview[16], const float projection[16], bool forCone,
                           const float fillEye[3]) {
    glUseProgram(litProgram_);
    auto at = [&](const char* name) { return glGetUniformLocation(litProgram_, name); };
    glUniformMatrix4fv(at("modelview"), 1, GL_FALSE, modelview);
    glUniformMatrix4fv(at("projection"), 1, GL_FALSE, projection);
    float light0[3];
    if (forCone) {
        // The window's light 0: towards (1, 1, 1) in eye coordinates, white; OpenGL's default
        // ambient of 0.2; the cone's white highlight.
        normalised(1, 1, 1, light0);
        glUniform3f(at("light0Colour"), 1, 1, 1);
        glUniform3f(at("light1Colour"), 0, 0, 0);
        glUniform3f(at("ambient"), 0.2f, 0.2f, 0.2f);
        glUniform3f(at("specular"), 1, 1, 1);
        glUniform1f(at("shininess"), 40);
    } else {
        // The window's two lights for a user's model: a headlight from the camera itself, and a
        // fill from above the target; ambient 0.3 of the colour.
        normalised(0.0f, 0.0f, 1.0f, light0);
        glUniform3f(at("light0Colour"), 0.65f, 0.65f, 0.65f);
        glUniform3f(at("light1Colour"), 0.4f, 0.4f, 0.4f);
        glUniform3f(at("ambient"), 0.3f, 0.3f, 0.3f);
        glUniform3f(at("specular"), 0.3f, 0.3f, 0.3f);
        glUniform1f(at("shininess"), 0);
    }
    glUniform3fv(at("light0"), 1, light0);
    glUniform3fv(at("light1"), 1, fillEye);
    glUniform1i(at("textured"), mesh.texture >= 0);
    if (mesh.texture >= 0) glBindTexture(GL_TEXTURE_2D, textures_[mesh.texture]);
    glBindBuffer(GL_ARRAY_BUFFER, mesh.buffer);
    bindLitAttributes();
    glDrawArrays(GL_TRIANGLES, 0, mesh.count);
    unbindAttributes();
}

void PageRenderer::drawCone(const double* modelview, const double* projection) {
    float mv[16], p[16];
    toFloats(modelview, mv), toFloats(projection, p);
    const float none[3] = {0, 0, 1};
    glEnable(GL_DEPTH_TEST);
    drawLit(cone_, mv, p, true, none);
    glDisable(GL_DEPTH_TEST);
}

void PageRenderer::drawModel(const ShownModel& model, const double* modelview, const double* projection) {
    double placed[16];
    shownModelMatrix(model, modelview, placed);
    float mv[16], p[16], target[16], fill[3];
    toFloats(placed, mv), toFloats(projection, p), toFloats(modelview, target);
    const float up[3] = {0, 0, 1};  // the target frame's +z is up
    eyeDirection(target, up, fill);
    glEnable(GL_DEPTH_TEST);
    for (const Mesh& mesh : model_) drawLit(mesh, mv, p, false, fill);
    glDisable(GL_DEPTH_TEST);
}

void PageRenderer::draw(const PageContent& c) {
    glViewport(0, 0, layout_.canvasWidth(), layout_.canvasHeight());
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (!c.live || c.width <= 0 || c.height <= 0) return;
    drawFrame(c.live, c.width, c.height, layout_.liveX(), layout_.liveY(), liveTexture_);
    drawFrame(c.processed ? c.processed : c.live, c.width, c.height, layout_.processedX(), layout_.processedY(),
              processedTexture_);
    if (!c.modelview || !c.projection) return;
    // The camera matrices describe the whole frame: everything on the target is drawn in the
    // live frame's slot (docs/conventions.md, "OpenGL matrices and the display").
    glViewport(layout_.liveX(), layout_.liveY(), layout_.slotWidth(), layout_.slotHeight());
    if (c.model && c.model->loaded && !model_.empty()) {
        glClear(GL_DEPTH_BUFFER_BIT);
        drawModel(*c.model, c.modelview, c.projection);
    }
    if (c.character) {
        glClear(GL_DEPTH_BUFFER_BIT);
        drawCharacter(*c.character, c.modelview, c.projection);
    }
    if (c.cone) {
        glClear(GL_DEPTH_BUFFER_BIT);
        drawCone(c.modelview, c.projection);
    }
}
