#include "camera/camera_file.h"

#include "base/safe_save.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/regular_file.h"

namespace {

constexpr int kMaxFrameSide = 100000;

// The text after "name:" on the top-level line that starts with it, or npos.
size_t valueOf(const std::string& text, const char* name) {
    const size_t length = std::strlen(name);
    for (size_t line = 0; line < text.size();) {
        const size_t end = text.find('\n', line);
        if (text.compare(line, length, name) == 0 && line + length < text.size() && text[line + length] == ':')
            return line + length + 1;
        if (end == std::string::npos) break;
        line = end + 1;
    }
    return std::string::npos;
}

bool number(const char*& p, double& v) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ',') ++p;
    char* end = nullptr;
    v = std::strtod(p, &end);
    if (end == p) return false;
    p = end;
    return std::isfinite(v);
}

bool integerField(const std::string& text, const char* name, int& out, std::string& error) {
    const size_t at = valueOf(text, name);
    if (at == std::string::npos) {
        error = std::string("has no ") + name;
        return false;
    }
    const char* p = text.c_str() + at;
    double v;
    if (!number(p, v) || v != std::floor(v) || v < 1 || v > kMaxFrameSide) {
        error = std::string(name) + " is not a frame size of 1 to 100000 pixels";
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

// The numbers of an !!opencv-matrix: its rows x cols "data" list.
bool matrixField(const std::string& text, const char* name, std::vector<double>& values, std::string& error) {
    const size_t at = valueOf(text, name);
    if (at == std::string::npos) {
        error = std::string("has no ") + name;
        return false;
    }
    const size_t data = text.find("data:", at), open = data == std::string::npos ? data : text.find('[', data);
    const size_t close = open == std::string::npos ? open : text.find(']', open);
    if (close == std::string::npos) {
        error = std::string(name) + " has no data list";
        return false;
    }
    auto dimension = [&](const char* key) {
        const size_t k = text.find(key, at);
        if (k == std::string::npos || k > data) return -1;
        const char* p = text.c_str() + k + std::strlen(key);
        double v;
        return number(p, v) && v == std::floor(v) && v >= 1 && v <= 16 ? static_cast<int>(v) : -1;
    };
    const int rows = dimension("rows:"), cols = dimension("cols:");
    if (rows < 0 || cols < 0) {
        error = std::string(name) + " has no usable rows and cols";
        return false;
    }
    values.clear();
    const std::string list = text.substr(open + 1, close - open - 1);
    const char* p = list.c_str();
    double v;
    while (number(p, v)) values.push_back(v);
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == ',') ++p;
    if (*p != '\0') {
        error = std::string(name) + " holds something that is not a number";
        return false;
    }
    if (static_cast<int>(values.size()) != rows * cols) {
        error = std::string(name) + " has " + std::to_string(values.size()) + " numbers for " + std::to_string(rows) +
                " x " + std::to_string(cols);
        return false;
    }
    return true;
}

}  // namespace

bool parseCameraText(const std::string& raw, CameraIntrinsics& camera, std::string& error) {
    // Comments out; OpenCV writes none, people do.
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '#') {
            while (i < raw.size() && raw[i] != '\n') ++i;
            if (i == raw.size()) break;
        }
        text += raw[i];
    }
    CameraIntrinsics c;
    std::vector<double> k, d;
    if (!integerField(text, "image_width", c.width, error) || !integerField(text, "image_height", c.height, error) ||
        !matrixField(text, "camera_matrix", k, error) || !matrixField(text, "distortion_coefficients", d, error))
        return false;
    if (k.size() != 9 || k[3] != 0 || k[6] != 0 || k[7] != 0 || k[8] != 1) {
        error = "camera_matrix is not a 3 x 3 camera matrix (fx 0 cx, 0 fy cy, 0 0 1)";
        return false;
    }
    if (!(k[0] > 0 && k[4] > 0 && k[0] < 1e6 && k[4] < 1e6)) {
        error = "camera_matrix has a focal length that is not positive";
        return false;
    }
    if (std::fabs(k[1]) > 1e-6 * k[0]) {
        error = "camera_matrix has skew, which is not supported";
        return false;
    }
    const size_t n = d.size();
    if (n != 4 && n != 5 && n != 8 && n != 12 && n != 14) {
        error = "distortion_coefficients has " + std::to_string(n) + " numbers, not 4, 5, 8, 12 or 14";
        return false;
    }
    for (size_t i = 5; i < n; ++i)
        if (d[i] != 0) {
            error = "distortion_coefficients uses the rational or thin-prism model, which is not supported";
            return false;
        }
    // From OpenCV's rows (top down) to ours (bottom up).
    c.fx = k[0], c.fy = k[4], c.cx = k[2], c.cy = (c.height - 1) - k[5];
    c.k1 = d[0], c.k2 = d[1], c.p1 = -d[2], c.p2 = d[3], c.k3 = n > 4 ? d[4] : 0.0;
    if (const std::string problem = cameraProblem(c); !problem.empty()) {
        error = "it describes no camera: " + problem;
        return false;
    }
    camera = c;
    return true;
}

bool readCameraFile(const std::string& path, CameraIntrinsics& camera, std::string& error) {
    std::vector<uint8_t> bytes;
    if (readRegularFile(path, kMaxCameraFileBytes, bytes, error) != FileReadResult::Ok) return false;
    return parseCameraText(std::string(bytes.begin(), bytes.end()), camera, error);
}

bool writeCameraFile(const std::string& path, const CameraIntrinsics& c, double rms, std::string& error) {
    // In OpenCV's rows (top down): docs/conventions.md.
    char text[1024];
    std::snprintf(text, sizeof text,
                  "%%YAML:1.0\n---\nimage_width: %d\nimage_height: %d\ncamera_matrix: !!opencv-matrix\n   rows: 3\n"
                  "   cols: 3\n   dt: d\n   data: [ %.16e, 0., %.16e, 0., %.16e, %.16e, 0., 0., 1. ]\n"
                  "distortion_coefficients: !!opencv-matrix\n   rows: 1\n   cols: 5\n   dt: d\n"
                  "   data: [ %.16e, %.16e, %.16e, %.16e, %.16e ]\navg_reprojection_error: %.16e\n",
                  c.width, c.height, c.fx, c.cx, c.fy, (c.height - 1) - c.cy, c.k1, c.k2, -c.p1, c.p2, c.k3, rms);
    return saveFileSafely(path, text, error);
}
