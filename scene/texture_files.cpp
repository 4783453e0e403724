#include "scene/texture_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/regular_file.h"

namespace {

constexpr size_t kMaxPaletteFileBytes = 4u << 20;

// The next decimal integer after blanks and line ends, as "%d" reads it; false at the end or at
// anything else.
bool nextInt(const char*& p, long& out) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    char* end;
    errno = 0;
    out = std::strtol(p, &end, 10);
    if (end == p || errno) return false;
    p = end;
    return true;
}

}  // namespace

int powerOfTwoAtLeast(int n) {
    int p = 1;
    while (p < n && p < (1 << 30)) p *= 2;
    return p;
}

bool readPaletteFile(const std::string& path, std::vector<uint8_t>& palette, int& entries, bool& opaque,
                     std::string& error) {
    std::vector<uint8_t> bytes;
    if (readRegularFile(path, kMaxPaletteFileBytes, bytes, error) != FileReadResult::Ok) {
        error = "Could not open file " + path + " (" + error + ")";
        return false;
    }
    if (parsePaletteText(bytes, palette, entries, opaque)) return true;
    error = "color pallete file has bad format, aborting (" + path + ")";
    return false;
}

bool parsePaletteText(std::vector<uint8_t>& bytes, std::vector<uint8_t>& palette, int& entries, bool& opaque) {
    bytes.push_back(0);
    const char* p = reinterpret_cast<const char*>(bytes.data());
    long count;
    if (!nextInt(p, count) || count < 0 || count > kMaxPaletteEntries) return false;
    palette.assign(static_cast<size_t>(count) * 4, 0);
    opaque = true;
    for (long i = 0; i < 4 * count; ++i) {
        long v;
        if (!nextInt(p, v) || v < 0 || v > 255) return false;
        palette[i] = static_cast<uint8_t>(v);
        if (i % 4 == 3 && v != 255) opaque = false;
    }
    entries = static_cast<int>(count);
    return true;
}

bool readIndexFile(const std::string& path, int w, int h, int d, std::vector<uint8_t>& volume, int& pw, int& ph,
                   int& pd, std::string& error) {
    if (w < 1 || h < 1 || d < 1) {
        error = "index texture " + path + " has a size below 1 voxel";
        return false;
    }
    pw = powerOfTwoAtLeast(w), ph = powerOfTwoAtLeast(h), pd = powerOfTwoAtLeast(d);
    const long long voxels = static_cast<long long>(pw) * ph * pd;
    if (voxels > kMaxVolumeVoxels) {
        error = "index texture " + path + " is larger than " + std::to_string(kMaxVolumeVoxels) + " voxels";
        return false;
    }
    std::vector<uint8_t> bytes;
    if (readRegularFile(path, static_cast<size_t>(kMaxVolumeVoxels), bytes, error) != FileReadResult::Ok) {
        error = "Could not open file " + path + " (" + error + ")";
        return false;
    }
    const size_t need = static_cast<size_t>(w) * h * d;
    if (bytes.size() < need) {
        error = "file did not have " + std::to_string(w) + " x " + std::to_string(h) + " x " +
                std::to_string(d) + " bytes, aborting (" + path + ")";
        return false;
    }
    volume.assign(static_cast<size_t>(voxels), 0);
    for (int z = 0; z < d; ++z)
        for (int y = 0; y < h; ++y)
            std::memcpy(&volume[(static_cast<size_t>(z) * ph + y) * pw], &bytes[(static_cast<size_t>(z) * h + y) * w], w);
    return true;
}

// Separable box resampling: destination pixel i covers source [i s, (i + 1) s) with s = w / dw,
// and takes the average of what lies under it, partial pixels weighted by their covered part.
// Enlarging therefore repeats pixels; shrinking averages them.
namespace {
void scaleLine(const float* src, int n, int stride, float* dst, int dn, int dstride) {
    const double s = static_cast<double>(n) / dn;
    for (int i = 0; i < dn; ++i) {
        const double a = i * s, b = (i + 1) * s;
        double sum = 0;
        for (int k = static_cast<int>(a); k < n && k < b; ++k) {
            const double lo = k > a ? k : a, hi = k + 1 < b ? k + 1 : b;
            sum += src[static_cast<size_t>(k) * stride] * (hi - lo);
        }
        dst[static_cast<size_t>(i) * dstride] = static_cast<float>(sum / s);
    }
}
}  // namespace

void scalePlane(const uint8_t* src, int w, int h, uint8_t* dst, int dw, int dh) {
    std::vector<float> in(static_cast<size_t>(w) * h), across(static_cast<size_t>(dw) * h), out(static_cast<size_t>(dw) * dh);
    for (size_t i = 0; i < in.size(); ++i) in[i] = src[i];
    for (int y = 0; y < h; ++y) scaleLine(&in[static_cast<size_t>(y) * w], w, 1, &across[static_cast<size_t>(y) * dw], dw, 1);
    for (int x = 0; x < dw; ++x) scaleLine(&across[x], h, dw, &out[x], dh, dw);
    for (size_t i = 0; i < out.size(); ++i) dst[i] = static_cast<uint8_t>(out[i] + 0.5f > 255 ? 255 : out[i] + 0.5f);
}
