// The animated character on the target: MD2 files (version 8) read into one mesh per frame,
// the animation clips named by the frames, and time-driven playback.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int kMd2Version = 8;
constexpr int kMd2HeaderBytes = 68;
// The largest MD2 file read: the format's own limits (512 frames of 2048 vertices, 4096
// triangles, 2048 texture coordinates, 32 skins) fit in well under 8 MiB.
constexpr size_t kMaxMd2FileBytes = 8u << 20;
constexpr int kMd2FrameBufferBytes = 8320;  // one frame record: 2070 vertices at most
constexpr double kAnimFrameMs = 200.0;

struct AnimClip {
    std::string name;
    int startFrame = 0;
    int endFrame = 0;
};

struct SkinMaterial {
    std::string file;
    int textureId = 0;
};

struct TriFace {
    int32_t vertIndex[3];
    int32_t coordIndex[3];
};

struct AnimFrame {
    int vertexCount = 0, faceCount = 0, texVertexCount = 0;
    std::vector<float> vertices;     // x, y, z per vertex
    std::vector<float> texVertices;  // u, v per texture vertex; frame 0 only
    std::vector<TriFace> faces;      // frame 0 only
};

struct AnimModel {
    int objectCount = 0;
    int materialCount = 0;
    int animationCount = 0;
    int currentAnim = 0;
    int currentFrame = 0;
    std::vector<AnimClip> animations;
    std::vector<SkinMaterial> materials;
    std::vector<AnimFrame> objects;
    // Playback clock, milliseconds; the first call of advanceAnimTime starts it.
    double lastTime = 0.0;
    double elapsed = 0.0;
    bool clockStarted = false;
    double (*clockMs)() = nullptr;  // a monotonic clock; tests replace it
    // The pose being drawn, kept from frame to frame (animatedTriangles).
    std::vector<float> posePositions, poseUv;
};

// Reads an MD2 file held in memory into the model. Every count, offset and index is checked
// against the file, so a broken or hostile file is refused with `error` saying why, and nothing
// is read or written outside a buffer.
bool parseMd2(const std::vector<uint8_t>& file, AnimModel& model, std::string& error);

// Reads the file; on failure prints one line "Error: ..." naming it and answers false with the
// model empty. A skin file name adds the one material.
bool importMd2(AnimModel& model, const std::string& fileName, const std::string& skinFileName,
               const std::string& consequence = "");

// Clips from the frame names ("stand01".."stand40", "run01".."run06" give "stand" and "run").
// A file whose names give no clip plays all its frames as one.
void parseAnimations(const std::vector<std::string>& frameNames, AnimModel& model);

// Milliseconds of a monotonic clock.
double monotonicMs();

// The interpolation fraction towards `next`; switches to `next` once 200 ms have passed.
float advanceAnimTime(AnimModel& model, int next);

// Where vertex `vertex` is drawn at fraction t (0 to 1) of the step from the current frame to
// frame `next`: the current frame's position at 0, next's at 1, on the straight line between.
// Both frames must hold the vertex.
void blendedVertex(const AnimModel& model, int next, float t, int vertex, float out[3]);

// The frame after the current one in the playing clip.
int nextAnimFrame(const AnimModel& model);

// The current pose, interpolated towards the next frame, as triangles: model.posePositions gets
// 3 coordinates a corner and, for a skinned model, model.poseUv 2; advances the animation. Past
// the frame time (a stalled window) the pose stays at the next frame rather than running beyond.
void animatedTriangles(AnimModel& model);
