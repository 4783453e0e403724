#include "models/md2_model.h"

#include "base/regular_file.h"
#include "base/report.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int32_t i32(const uint8_t* p) { return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24); }
int16_t i16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }
float f32(const uint8_t* p) {
    const uint32_t bits = static_cast<uint32_t>(i32(p));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

enum Field { kIdent, kVersion, kSkinWidth, kSkinHeight, kFrameSize, kSkins, kVertices, kTexCoords, kTriangles,
             kGlCommands, kFrames, kSkinOffset, kTexCoordOffset, kTriangleOffset, kFrameOffset };

// Whether `count` records of `size` bytes at `offset` lie inside the file.
bool fits(size_t fileSize, int64_t offset, int64_t count, int64_t size) {
    return offset >= 0 && count >= 0 && offset <= static_cast<int64_t>(fileSize) &&
           count * size <= static_cast<int64_t>(fileSize) - offset;
}

}  // namespace

bool parseMd2(const std::vector<uint8_t>& file, AnimModel& model, std::string& error) {
    double (*clock)() = model.clockMs;
    model = AnimModel{};
    model.clockMs = clock;
    if (file.size() < kMd2HeaderBytes) {
        error = "the file is too short for an MD2 header";
        return false;
    }
    int32_t h[17];
    for (int i = 0; i < 17; ++i) h[i] = i32(&file[4 * i]);
    if (h[kVersion] != kMd2Version) {
        error = "version";
        return false;
    }
    const int64_t vertices = h[kVertices], texCoords = h[kTexCoords], triangles = h[kTriangles], frames = h[kFrames];
    const int64_t frameSize = h[kFrameSize];
    if (frames < 1) {
        error = "it holds no frames";
        return false;
    }
    if (vertices < 1 || triangles < 1) {
        error = "it holds no mesh (" + std::to_string(vertices) + " vertices, " + std::to_string(triangles) + " triangles)";
        return false;
    }
    if (frameSize > kMd2FrameBufferBytes || frameSize < 40 + 4 * vertices) {
        error = "its frame size of " + std::to_string(frameSize) + " bytes does not fit " + std::to_string(vertices) +
                " vertices (at most " + std::to_string(kMd2FrameBufferBytes) + " bytes)";
        return false;
    }
    if (texCoords > 0 && (h[kSkinWidth] <= 0 || h[kSkinHeight] <= 0)) {
        error = "its skin size is " + std::to_string(h[kSkinWidth]) + " x " + std::to_string(h[kSkinHeight]);
        return false;
    }
    if (!fits(file.size(), h[kSkinOffset], h[kSkins], 64) || !fits(file.size(), h[kTexCoordOffset], texCoords, 4) ||
        !fits(file.size(), h[kTriangleOffset], triangles, 12) || !fits(file.size(), h[kFrameOffset], frames, frameSize)) {
        error = "its counts and offsets point past the end of the file (" + std::to_string(file.size()) + " bytes)";
        return false;
    }

    std::vector<TriFace> faces(static_cast<size_t>(triangles));
    for (int64_t t = 0; t < triangles; ++t) {
        const uint8_t* p = &file[static_cast<size_t>(h[kTriangleOffset] + 12 * t)];
        for (int k = 0; k < 3; ++k) {
            faces[t].vertIndex[k] = i16(p + 2 * k);
            faces[t].coordIndex[k] = i16(p + 6 + 2 * k);
            if (faces[t].vertIndex[k] < 0 || faces[t].vertIndex[k] >= vertices || faces[t].coordIndex[k] < 0 ||
                faces[t].coordIndex[k] >= std::max<int64_t>(texCoords, 1) ||
                (texCoords == 0 && faces[t].coordIndex[k] != 0)) {
                error = "triangle " + std::to_string(t) + " uses a vertex or texture coordinate that does not exist";
                return false;
            }
        }
    }

    std::vector<std::string> names;
    model.objects.resize(static_cast<size_t>(frames));
    for (int64_t i = 0; i < frames; ++i) {
        const uint8_t* rec = &file[static_cast<size_t>(h[kFrameOffset] + frameSize * i)];
        float scale[3], translate[3];
        for (int k = 0; k < 3; ++k) scale[k] = f32(rec + 4 * k), translate[k] = f32(rec + 12 + 4 * k);
        names.emplace_back(reinterpret_cast<const char*>(rec + 24), strnlen(reinterpret_cast<const char*>(rec + 24), 16));
        AnimFrame& frame = model.objects[i];
        frame.vertexCount = static_cast<int>(vertices);
        frame.faceCount = static_cast<int>(triangles);
        frame.texVertexCount = static_cast<int>(texCoords);
        frame.vertices.resize(static_cast<size_t>(3 * vertices));
        for (int64_t v = 0; v < vertices; ++v) {
            const uint8_t* b = rec + 40 + 4 * v;
            // The file's z axis is up; the model's y axis is.
            // (docs/conventions.md, "World, camera and model axes")
            frame.vertices[3 * v] = b[0] * scale[0] + translate[0];
            frame.vertices[3 * v + 1] = b[2] * scale[2] + translate[2];
            frame.vertices[3 * v + 2] = -(b[1] * scale[1] + translate[1]);
        }
    }
    AnimFrame& first = model.objects[0];
    first.texVertices.resize(static_cast<size_t>(2 * texCoords));
    for (int64_t c = 0; c < texCoords; ++c) {
        const uint8_t* p = &file[static_cast<size_t>(h[kTexCoordOffset] + 4 * c)];
        first.texVertices[2 * c] = static_cast<float>(static_cast<double>(i16(p)) / h[kSkinWidth]);
        first.texVertices[2 * c + 1] = static_cast<float>(1.0 - static_cast<double>(i16(p + 2)) / h[kSkinHeight]);
    }
    first.faces = std::move(faces);
    model.objectCount = static_cast<int>(frames);
    parseAnimations(names, model);
    return true;
}

void parseAnimations(const std::vector<std::string>& frameNames, AnimModel& model) {
    model.animations.clear();
    model.animationCount = 0;
    std::string lastName;
    int start = 0;
    const int last = static_cast<int>(frameNames.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        std::string name = frameNames[i];
        int frameNumber = 0;
        const int length = static_cast<int>(name.size());
        for (int j = 0; j < length; ++j) {
            if (std::isdigit(static_cast<unsigned char>(name[j])) && j >= length - 2) {
                frameNumber = std::atoi(name.c_str() + j);
                name.resize(j);
                break;
            }
        }
        if (name != lastName || i == last) {
            if (!lastName.empty()) {
                model.animations.push_back({lastName, start, i});
                ++model.animationCount;
            }
            start = frameNumber + i - 1;
        }
        lastName = name;
    }
    if (model.animations.empty() && !frameNames.empty()) {
        model.animations.push_back({frameNames[0], 0, static_cast<int>(frameNames.size())});
        model.animationCount = 1;
    }
}

bool importMd2(AnimModel& model, const std::string& fileName, const std::string& skinFileName,
               const std::string& consequence) {
    std::vector<uint8_t> file;
    std::string error;
    switch (readRegularFile(fileName, kMaxMd2FileBytes, file, error)) {
        case FileReadResult::Ok: break;
        case FileReadResult::Missing:
            reportError("Unable to find the file: %s!%s", fileName.c_str(), consequence.c_str());
            return false;
        default:
            reportError("%s: %s%s", fileName.c_str(), error.c_str(), consequence.c_str());
            return false;
    }
    if (!parseMd2(file, model, error)) {
        if (error == "version")
            reportError("Invalid file format (Version not 8): %s!%s", fileName.c_str(), consequence.c_str());
        else
            reportError("%s: is not a usable MD2 model: %s%s", fileName.c_str(), error.c_str(), consequence.c_str());
        return false;
    }
    if (!skinFileName.empty()) {
        model.materials.push_back({skinFileName, 0});
        model.materialCount = 1;
    }
    return true;
}

double monotonicMs() {
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return duration<double, std::milli>(steady_clock::now() - start).count();
}

float advanceAnimTime(AnimModel& model, int next) {
    const double now = model.clockMs ? model.clockMs() : monotonicMs();
    // Playback starts at the first call, not at the clock's zero, so the first pose drawn is a
    // real frame rather than one extrapolated far past its neighbour.
    if (!model.clockStarted) {
        model.lastTime = now;
        model.clockStarted = true;
    }
    model.elapsed = now - model.lastTime;
    const float t = static_cast<float>(model.elapsed / kAnimFrameMs);
    if (model.elapsed >= kAnimFrameMs) {
        model.currentFrame = next;
        model.lastTime = now;
    }
    return t;
}

void blendedVertex(const AnimModel& model, int next, float t, int vertex, float out[3]) {
    const float* from = &model.objects[model.currentFrame].vertices[3 * static_cast<size_t>(vertex)];
    const float* to = &model.objects[next].vertices[3 * static_cast<size_t>(vertex)];
    for (int k = 0; k < 3; ++k) out[k] = from[k] + t * (to[k] - from[k]);
}

int nextAnimFrame(const AnimModel& model) {
    if (model.objects.empty()) return 0;
    const int frames = static_cast<int>(model.objects.size());
    const bool haveClip = model.currentAnim >= 0 && model.currentAnim < static_cast<int>(model.animations.size());
    const AnimClip clip = haveClip ? model.animations[model.currentAnim] : AnimClip{"", 0, frames};
    int next = clip.endFrame > 0 ? (model.currentFrame + 1) % clip.endFrame : 0;
    if (next == 0) next = clip.startFrame;
    // A clip numbered beyond the file (a frame called "walk99" early on) falls back to frame 0.
    return (next >= 0 && next < frames) ? next : 0;
}

void animatedTriangles(AnimModel& model) {
    model.posePositions.clear();
    model.poseUv.clear();
    if (model.objects.empty()) return;
    const int frames = static_cast<int>(model.objects.size());
    if (model.currentFrame < 0 || model.currentFrame >= frames) model.currentFrame = 0;
    const int next = nextAnimFrame(model);
    const float t = std::clamp(advanceAnimTime(model, next), 0.0f, 1.0f);
    const AnimFrame& base = model.objects[0];
    const bool textured = !base.texVertices.empty();
    for (const TriFace& face : base.faces) {
        for (int k = 0; k < 3; ++k) {
            if (textured) {
                const float* uv = &base.texVertices[2 * face.coordIndex[k]];
                model.poseUv.insert(model.poseUv.end(), uv, uv + 2);
            }
            float p[3];
            blendedVertex(model, next, t, face.vertIndex[k], p);
            model.posePositions.insert(model.posePositions.end(), p, p + 3);
        }
    }
}
