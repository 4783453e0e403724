// Builds Tovrak's own animated character: a small, round-bellied, horned green creature made
// of boxes, with an idle clip (stand01..stand40: breathing, looking around, waving) and a run
// clip (run01..run06), and paints its skin. Writes "Ogros.md2" and "OGRO.bmp" into OUTPUT_DIR.
// Units: 1 = 4.5 mm on the target once drawn; z is up, x is forward, the feet stand on z = 0.
// Usage: make_creature OUTPUT_DIR
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSkin = 256, kCell = 32;

struct Vec {
    double x, y, z;
};
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A rigid transform: rotation (row-major) then translation.
struct Pose {
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec t{0, 0, 0};
    Vec apply(Vec v) const {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z + t.x, m[3] * v.x + m[4] * v.y + m[5] * v.z + t.y,
                m[6] * v.x + m[7] * v.y + m[8] * v.z + t.z};
    }
    Pose then(const Pose& child) const {  // this * child
        Pose r;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r.m[3 * i + j] = m[3 * i] * child.m[j] + m[3 * i + 1] * child.m[3 + j] + m[3 * i + 2] * child.m[6 + j];
        r.t = apply(child.t);
        return r;
    }
};

// A joint at `at`, turned by yaw (about z), then pitch (about y), then roll (about x), in degrees.
Pose joint(Vec at, double yaw = 0, double pitch = 0, double roll = 0) {
    const double a = yaw * kPi / 180, b = pitch * kPi / 180, c = roll * kPi / 180;
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c), sc = std::sin(c);
    Pose p;
    const double z[9] = {ca, -sa, 0, sa, ca, 0, 0, 0, 1};
    const double y[9] = {cb, 0, sb, 0, 1, 0, -sb, 0, cb};
    const double x[9] = {1, 0, 0, 0, cc, -sc, 0, sc, cc};
    double zy[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) zy[3 * i + j] = z[3 * i] * y[j] + z[3 * i + 1] * y[3 + j] + z[3 * i + 2] * y[6 + j];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) p.m[3 * i + j] = zy[3 * i] * x[j] + zy[3 * i + 1] * x[3 + j] + zy[3 * i + 2] * x[6 + j];
    p.t = at;
    return p;
}

// Skin cells (column, row of the 8 x 8 atlas).
enum Cell { kGreen, kBack, kBelly, kFace, kMouth, kClaw, kHorn, kCrown, kSole, kCellCount };
const int kCellPos[kCellCount][2] = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {0, 1}};

// Faces of a box in the order +x, -x, +y, -y, +z, -z.
struct Part {
    Vec lo, hi;                 // the box in the part's own frame
    std::array<Cell, 6> cells;  // skin of each face
};

struct Mesh {
    std::vector<Vec> rest;                 // vertex positions, built per frame
    std::vector<std::array<int, 6>> tris;  // three vertex indices, three texture coordinate indices
    std::vector<std::array<int, 2>> st;    // texture coordinates in skin pixels
};

// Appends a box's 8 corners (transformed by `pose`) to `positions`; on the first call also its
// triangles and texture coordinates, wound clockwise seen from outside as MD2 models are.
void addBox(const Part& part, const Pose& pose, std::vector<Vec>& positions, Mesh* topology) {
    const int base = static_cast<int>(positions.size());
    Vec c[8];
    for (int i = 0; i < 8; ++i) {
        c[i] = {i & 1 ? part.hi.x : part.lo.x, i & 2 ? part.hi.y : part.lo.y, i & 4 ? part.hi.z : part.lo.z};
        positions.push_back(pose.apply(c[i]));
    }
    if (!topology) return;
    // Corners of each face, and the face's right and up directions for its picture.
    struct Face {
        int corners[4];
        Vec normal, right, up;
    };
    const Face faces[6] = {
        {{1, 3, 7, 5}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},    {{0, 2, 6, 4}, {-1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
        {{2, 3, 7, 6}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}},   {{0, 1, 5, 4}, {0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{4, 5, 7, 6}, {0, 0, 1}, {0, -1, 0}, {1, 0, 0}},   {{0, 1, 3, 2}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    for (int f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        const int cx = kCellPos[part.cells[f]][0] * kCell, cy = kCellPos[part.cells[f]][1] * kCell;
        // Face corner -> texture coordinate: the face's picture fills its cell, upright.
        int stIndex[4];
        double minR = 1e9, maxR = -1e9, minU = 1e9, maxU = -1e9;
        for (int k : face.corners) {
            minR = std::min(minR, dot(c[k], face.right)), maxR = std::max(maxR, dot(c[k], face.right));
            minU = std::min(minU, dot(c[k], face.up)), maxU = std::max(maxU, dot(c[k], face.up));
        }
        for (int k = 0; k < 4; ++k) {
            const Vec p = c[face.corners[k]];
            const double fr = (dot(p, face.right) - minR) / (maxR - minR), fu = (dot(p, face.up) - minU) / (maxU - minU);
            stIndex[k] = static_cast<int>(topology->st.size());
            topology->st.push_back({cx + 2 + static_cast<int>(std::lround(fr * (kCell - 4))),
                                    cy + 2 + static_cast<int>(std::lround((1.0 - fu) * (kCell - 4)))});
        }
        for (const auto& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            int v[3] = {face.corners[tri[0]], face.corners[tri[1]], face.corners[tri[2]]};
            int t[3] = {stIndex[tri[0]], stIndex[tri[1]], stIndex[tri[2]]};
            // Clockwise seen from outside: the normal of (v0, v1, v2) must point inwards.
            if (dot(cross(c[v[1]] - c[v[0]], c[v[2]] - c[v[0]]), face.normal) > 0) std::swap(v[1], v[2]), std::swap(t[1], t[2]);
            topology->tris.push_back({base + v[0], base + v[1], base + v[2], t[0], t[1], t[2]});
        }
    }
}

// Angles of one frame of animation.
struct Motion {
    double bob = 0, lean = 0, headYaw = 0, headPitch = 0;
    double leftLeg = 0, rightLeg = 0, leftArm = 0, rightArm = 0, rightArmRaise = 0, tailYaw = 0, jaw = 0;
};

// The whole creature in one pose.
std::vector<Vec> build(const Motion& m, Mesh* topology) {
    using C = Cell;
    const std::array<C, 6> green{C::kGreen, C::kBack, C::kGreen, C::kGreen, C::kGreen, C::kSole};
    std::vector<Vec> v;
    const Pose world;
    // Legs and feet: hips at z = 8.
    for (int side : {1, -1}) {
        const Pose hip = world.then(joint({0, side * 2.7, 8}, 0, side > 0 ? m.leftLeg : m.rightLeg));
        addBox({{-1.7, -1.6, -6.5}, {1.7, 1.6, 0.5}, green}, hip, v, topology);
        addBox({{-1.9, -1.9, -8}, {3.4, 1.9, -6.5}, {C::kClaw, C::kGreen, C::kGreen, C::kGreen, C::kGreen, C::kSole}}, hip, v,
               topology);
    }
    // Body above the hips: it breathes (bob) and leans into a run.
    const Pose body = world.then(joint({0, 0, 8 + m.bob}, 0, m.lean));
    addBox({{-3.6, -4.6, -0.5}, {3.8, 4.6, 9.5}, {C::kBelly, C::kBack, C::kGreen, C::kGreen, C::kCrown, C::kSole}}, body, v,
           topology);
    addBox({{3.6, -3.4, 0.5}, {5.0, 3.4, 6.8}, {C::kBelly, C::kBelly, C::kBelly, C::kBelly, C::kBelly, C::kBelly}}, body, v,
           topology);
    const Pose tail = body.then(joint({-3.6, 0, 1.5}, m.tailYaw, 30));
    addBox({{-5.5, -0.8, -0.8}, {0.5, 0.8, 0.8}, green}, tail, v, topology);
    // Head on the neck, with its snout and horns.
    const Pose head = body.then(joint({0.6, 0, 9.5}, m.headYaw, m.headPitch));
    addBox({{-3.2, -3.7, 0}, {3.6, 3.7, 6.4}, {C::kFace, C::kBack, C::kGreen, C::kGreen, C::kCrown, C::kGreen}}, head, v, topology);
    const Pose jaw = head.then(joint({3.6, 0, 1.0}, 0, m.jaw));
    addBox({{-0.2, -2.6, -0.4}, {2.0, 2.6, 2.2}, {C::kMouth, C::kGreen, C::kGreen, C::kGreen, C::kGreen, C::kGreen}}, jaw, v,
           topology);
    for (int side : {1, -1}) {
        const Pose horn = head.then(joint({-0.5, side * 2.6, 6.4}, 0, -15, side * -20));
        addBox({{-0.6, -0.6, 0}, {0.6, 0.6, 2.8}, {C::kHorn, C::kHorn, C::kHorn, C::kHorn, C::kHorn, C::kHorn}}, horn, v,
               topology);
    }
    // Arms from the shoulders, hands at their ends; the right arm can wave.
    for (int side : {1, -1}) {
        const double swing = side > 0 ? m.leftArm : m.rightArm;
        const double raise = side > 0 ? 0 : m.rightArmRaise;
        const Pose shoulder = body.then(joint({0.3, side * 5.6, 8.2}, 0, swing, side * (12 + raise)));
        addBox({{-1.3, -1.3, -7.5}, {1.3, 1.3, 0.8}, green}, shoulder, v, topology);
        addBox({{-1.7, -1.7, -9.6}, {2.0, 1.7, -7.5}, {C::kClaw, C::kGreen, C::kGreen, C::kGreen, C::kGreen, C::kClaw}}, shoulder,
               v, topology);
    }
    return v;
}

Motion standing(int i) {  // 40 frames, 8 s at 200 ms a frame
    const double p = 2 * kPi * i / 40.0;
    Motion m;
    m.bob = 0.3 * std::sin(2 * p);
    m.headYaw = 28 * std::sin(p);
    m.headPitch = -6 * std::sin(2 * p + 1);
    m.leftArm = 8 * std::sin(p);
    m.rightArm = -8 * std::sin(p);
    m.tailYaw = 25 * std::sin(2 * p);
    // A wave in the middle of the clip: the right arm goes up and waves, then comes down.
    const double w = std::clamp(std::sin(kPi * (i - 12) / 16.0), 0.0, 1.0) * (i >= 12 && i <= 28);
    m.rightArmRaise = 125 * w;
    m.rightArm += w * 20 * std::sin(6 * p);
    m.jaw = 12 * w;
    return m;
}

Motion running(int i) {  // 6 frames
    const double p = 2 * kPi * i / 6.0;
    Motion m;
    m.bob = 0.7 * std::fabs(std::sin(p));
    m.lean = 12;
    m.leftLeg = 35 * std::sin(p);
    m.rightLeg = -35 * std::sin(p);
    m.leftArm = -30 * std::sin(p);
    m.rightArm = 30 * std::sin(p);
    m.tailYaw = 15 * std::sin(p);
    m.headPitch = -8;
    return m;
}

void put32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff));
}
void put16(std::vector<uint8_t>& out, int v) {
    out.push_back(static_cast<uint8_t>(v & 0xff));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
}
void putFloat(std::vector<uint8_t>& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    put32(out, static_cast<int32_t>(bits));
}

std::vector<uint8_t> md2File() {
    Mesh mesh;
    build(Motion{}, &mesh);
    std::vector<std::pair<std::string, std::vector<Vec>>> frames;
    char name[16];
    for (int i = 0; i < 40; ++i) {
        std::snprintf(name, sizeof name, "stand%02d", i + 1);
        frames.emplace_back(name, build(standing(i), nullptr));
    }
    for (int i = 0; i < 6; ++i) {
        std::snprintf(name, sizeof name, "run%02d", i + 1);
        frames.emplace_back(name, build(running(i), nullptr));
    }
    // Whatever the limbs do, the lowest point touches the ground: no foot sinks into the target.
    for (auto& frame : frames) {
        double ground = frame.second[0].z;
        for (const Vec& p : frame.second) ground = std::min(ground, p.z);
        for (Vec& p : frame.second) p.z -= ground;
    }
    const int vertices = static_cast<int>(frames[0].second.size());
    const int frameSize = 40 + 4 * vertices;
    const int skinOffset = 68, stOffset = skinOffset + 64;
    const int triOffset = stOffset + 4 * static_cast<int>(mesh.st.size());
    const int frameOffset = triOffset + 12 * static_cast<int>(mesh.tris.size());
    const int end = frameOffset + frameSize * static_cast<int>(frames.size());

    std::vector<uint8_t> out;
    for (int32_t v : {0x32504449, 8, kSkin, kSkin, frameSize, 1, vertices, static_cast<int>(mesh.st.size()),
                      static_cast<int>(mesh.tris.size()), 0, static_cast<int>(frames.size()), skinOffset, stOffset,
                      triOffset, frameOffset, end, end})
        put32(out, v);
    char skinName[64] = "OGRO.bmp";
    out.insert(out.end(), skinName, skinName + 64);
    for (const auto& st : mesh.st) put16(out, st[0]), put16(out, st[1]);
    for (const auto& t : mesh.tris)
        for (int k = 0; k < 6; ++k) put16(out, t[k]);
    for (const auto& [frameName, pos] : frames) {
        Vec lo = pos[0], hi = pos[0];
        for (const Vec& p : pos) {
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
        const Vec scale{(hi.x - lo.x) / 255, (hi.y - lo.y) / 255, (hi.z - lo.z) / 255};
        for (double s : {scale.x, scale.y, scale.z}) putFloat(out, static_cast<float>(s));
        for (double t : {lo.x, lo.y, lo.z}) putFloat(out, static_cast<float>(t));
        char fname[16] = {};
        std::strncpy(fname, frameName.c_str(), sizeof fname - 1);
        out.insert(out.end(), fname, fname + 16);
        for (const Vec& p : pos) {
            out.push_back(static_cast<uint8_t>(std::lround((p.x - lo.x) / scale.x)));
            out.push_back(static_cast<uint8_t>(std::lround((p.y - lo.y) / scale.y)));
            out.push_back(static_cast<uint8_t>(std::lround((p.z - lo.z) / scale.z)));
            out.push_back(0);
        }
    }
    return out;
}

// --- the skin ---

struct Rgb {
    double r, g, b;
};

struct Painter {
    std::vector<Rgb> px = std::vector<Rgb>(kSkin * kSkin, Rgb{0, 0, 0});
    uint32_t seed = 12345;
    double noise() {  // small deterministic mottling
        seed = seed * 1664525u + 1013904223u;
        return ((seed >> 8) & 0xffff) / 65535.0 - 0.5;
    }
    Rgb& at(int x, int y) { return px[y * kSkin + x]; }
    void cell(Cell c, Rgb base, double mottle) {
        const int x0 = kCellPos[c][0] * kCell, y0 = kCellPos[c][1] * kCell;
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell; ++x) {
                const double n = 1 + mottle * noise() + 0.08 * std::sin((x + 2 * y) * 0.7);
                at(x0 + x, y0 + y) = {base.r * n, base.g * n, base.b * n};
            }
    }
    void disc(Cell c, double cx, double cy, double r, Rgb colour) {
        const int x0 = kCellPos[c][0] * kCell, y0 = kCellPos[c][1] * kCell;
        for (int y = 0; y < kCell; ++y)
            for (int x = 0; x < kCell; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) at(x0 + x, y0 + y) = colour;
    }
    void bar(Cell c, int xa, int ya, int xb, int yb, Rgb colour) {
        const int x0 = kCellPos[c][0] * kCell, y0 = kCellPos[c][1] * kCell;
        for (int y = ya; y <= yb; ++y)
            for (int x = xa; x <= xb; ++x) at(x0 + x, y0 + y) = colour;
    }
};

std::vector<uint8_t> bmpFile() {
    Painter p;
    const Rgb green{86, 150, 62}, dark{58, 104, 44}, belly{196, 202, 128}, claw{236, 230, 205}, black{20, 16, 14};
    for (int y = 0; y < kSkin; ++y)
        for (int x = 0; x < kSkin; ++x) p.at(x, y) = green;
    p.cell(kGreen, green, 0.18);
    p.cell(kBack, dark, 0.2);
    for (int i = 0; i < 4; ++i) p.bar(kBack, 13, 3 + 8 * i, 18, 6 + 8 * i, {110, 60, 40});  // ridge plates
    p.cell(kBelly, belly, 0.08);
    for (int i = 1; i < 4; ++i) p.bar(kBelly, 3, 8 * i, 28, 8 * i, {170, 172, 104});
    p.cell(kFace, green, 0.12);
    for (double ex : {9.0, 23.0}) {  // big friendly eyes, a brow, cheeks
        p.disc(kFace, ex, 13, 5.5, {250, 250, 240});
        p.disc(kFace, ex + 1, 14, 2.8, black);
        p.disc(kFace, ex + 1.8, 12.8, 0.9, {255, 255, 255});
        p.bar(kFace, static_cast<int>(ex) - 5, 5, static_cast<int>(ex) + 5, 6, dark);
        p.disc(kFace, ex, 23, 2.2, {150, 170, 80});
    }
    p.cell(kMouth, {120, 62, 52}, 0.05);  // an open mouth with teeth, nostrils above
    p.bar(kMouth, 2, 2, 29, 9, green);
    p.disc(kMouth, 10, 5, 1.5, black);
    p.disc(kMouth, 21, 5, 1.5, black);
    for (int tx : {5, 12, 19, 25}) p.bar(kMouth, tx, 11, tx + 2, 15, claw);
    p.cell(kClaw, dark, 0.15);
    for (int cx : {6, 15, 24}) p.bar(kClaw, cx, 22, cx + 3, 29, claw);
    p.cell(kHorn, claw, 0.1);
    for (int y = 4; y < 32; y += 7) p.bar(kHorn, 0, y, 31, y, {190, 180, 150});
    p.cell(kCrown, green, 0.18);
    for (int i = 0; i < 6; ++i) p.disc(kCrown, 5 + (i * 11) % 24, 6 + (i * 7) % 22, 2.2, dark);
    p.cell(kSole, {70, 84, 50}, 0.1);

    const int rowBytes = kSkin * 3;  // 768: already a multiple of 4
    std::vector<uint8_t> out = {'B', 'M'};
    put32(out, 14 + 40 + rowBytes * kSkin);
    put32(out, 0);
    put32(out, 14 + 40);
    for (int32_t v : {40, kSkin, kSkin}) put32(out, v);
    put16(out, 1);
    put16(out, 24);
    for (int32_t v : {0, rowBytes * kSkin, 2835, 2835, 0, 0}) put32(out, v);
    for (int y = kSkin - 1; y >= 0; --y)  // bottom row first
        for (int x = 0; x < kSkin; ++x) {
            const Rgb c = p.at(x, y);
            for (double v : {c.b, c.g, c.r}) out.push_back(static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
        }
    return out;
}

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_creature OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    if (!write(dir + "/Ogros.md2", md2File()) || !write(dir + "/OGRO.bmp", bmpFile())) {
        std::perror(dir.c_str());
        return 1;
    }
    return 0;
}
