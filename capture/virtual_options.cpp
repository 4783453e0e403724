// The virtual camera's options as typed after "synthetic:".
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "capture/frame_size.h"
#include "capture/virtual_camera.h"

namespace {

// A number, or two joined by a colon ("1.3:0.45"); false when it is neither.
bool numbers(const std::string& text, double& a, double& b, bool& pair) {
    const size_t colon = text.find(':');
    pair = colon != std::string::npos;
    auto one = [](const std::string& t, double& v) {
        char* rest = nullptr;
        v = std::strtod(t.c_str(), &rest);
        return !t.empty() && rest && *rest == '\0' && std::isfinite(v);
    };
    return pair ? one(text.substr(0, colon), a) && one(text.substr(colon + 1), b) : one(text, a) && (b = a, true);
}

}  // namespace

bool parseVirtualCameraOptions(const std::string& text, VirtualCameraOptions& o, std::string& error) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(pos, end - pos);
        pos = end + 1;
        if (item.empty()) continue;
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "1" : item.substr(eq + 1);
        if (key == "size") {
            int w = 0, h = 0;
            if (!parseFrameSize(value, w, h) || w > 4096 || h > 4096) {
                error = "size must be WIDTHxHEIGHT between 16 and 4096, got '" + value + "'";
                return false;
            }
            o.width = w;
            o.height = h;
            continue;
        }
        double number = 0, second = 0;
        bool pair = false;
        if (!numbers(value, number, second, pair) || (pair && key != "light" && key != "exposure")) {
            error = "option '" + key + "' needs a number" + (key == "light" || key == "exposure" ? " or two (A:B)" : "") + ", got '" + value + "'";
            return false;
        }
        auto in = [&](double lo, double hi) { return number >= lo && number <= hi; };
#ifdef TOVRAK_NO_JPEG
        if (key == "jpeg" && number != 0) {
            error = "option 'jpeg' needs the JPEG library, which this build does not have";
            return false;
        }
#endif
        bool ok = true;
        if (key == "noise") ok = in(0, 255), o.noise = number;
        else if (key == "blur") ok = in(0, 20), o.blur = number;
        else if (key == "lens") o.lens = number != 0;
        else if (key == "seed") ok = in(0, 4294967295.0), o.seed = static_cast<uint32_t>(ok ? number : 0);
        else if (key == "still") o.still = number != 0;
        else if (key == "upright") o.path = number != 0 ? VirtualPath::Upright : VirtualPath::Standard;
        else if (key == "far") o.path = number != 0 ? VirtualPath::Far : VirtualPath::Standard;
        else if (key == "steep") o.path = number != 0 ? VirtualPath::Steep : VirtualPath::Standard;
        else if (key == "clutter") o.clutter = number != 0;
        else if (key == "start") ok = in(0, 1e9), o.start = static_cast<int>(ok ? number : 0);
        else if (key == "fps") ok = number == 0 || in(0.1, 1000), o.fps = number;
        else if (key == "tilt") ok = in(0, 80), o.fixedView = true, o.tilt = number;
        else if (key == "azimuth" || key == "roll") o.fixedView = true, (key == "azimuth" ? o.azimuth : o.roll) = number;
        else if (key == "distance") ok = in(100, 5000), o.fixedView = true, o.distance = number;
        else if (key == "light")
            ok = in(0, 4) && second >= 0 && second <= 4, o.lightLeft = number, o.lightRight = second;
        else if (key == "shadow") ok = in(0, 1), o.shadow = number;
        else if (key == "motion") ok = in(0, 100), o.motion = number;
        else if (key == "jpeg") ok = in(0, 100) && number == std::floor(number), o.jpeg = ok ? static_cast<int>(number) : 0;
        else if (key == "hand") ok = (in(0, 3) && number == std::floor(number)) || number == -1, o.hand = ok ? static_cast<int>(number) : 0;
        else if (key == "ink" || key == "paper" || key == "desk")
            ok = in(0, 255), (key == "ink" ? o.ink : key == "paper" ? o.paper : o.desk) = number;
        else if (key == "fx" || key == "fy") ok = in(1, 1e6), (key == "fx" ? o.fx : o.fy) = number;
        else if (key == "cx" || key == "cy") ok = in(0, 1e5), (key == "cx" ? o.cx : o.cy) = number;
        else if (key == "k1" || key == "k2" || key == "p1" || key == "p2")
            ok = in(-2, 2), (key == "k1" ? o.k1 : key == "k2" ? o.k2 : key == "p1" ? o.p1 : o.p2) = number;
        else if (key == "shutter") ok = in(0, 1), o.shutter = number;
        else if (key == "glare") ok = in(0, 4), o.glare = number;
        else if (key == "curl") ok = in(0, 40), o.curl = number;
        else if (key == "exposure")
            // One number F: hunting between 1/F and F.
            ok = pair ? in(0.05, 20) && second >= 0.05 && second <= 20 : in(1, 20),
            o.exposureLow = pair ? std::min(number, second) : 1 / number, o.exposureHigh = pair ? std::max(number, second) : number;
        else if (key == "colour" || key == "color") o.colour = number != 0;
        else if (key == "flicker") ok = in(0, 1), o.flicker = number;
        else if (key == "outside") ok = in(0, 0.5), o.outside = number;
        else if (key == "lowlight") {
            if (number != 0) o.ink = 28, o.paper = 95, o.desk = 75, o.noise = std::max(o.noise, 7.0);
        } else if (key == "dim") {
            if (number != 0) o.ink = 110, o.paper = 165, o.desk = 140;
        } else {
            error = "unknown virtual camera option '" + key +
                    "' (known: size, noise, blur, lens, seed, still, upright, far, steep, clutter, start, fps, tilt, "
                    "azimuth, roll, distance, light, shadow, motion, jpeg, hand, ink, paper, desk, dim, fx, fy, cx, cy, k1, k2, "
                    "p1, p2, shutter, glare, curl, exposure, colour, flicker, lowlight, outside)";
            return false;
        }
        if (!ok) {
            error = "option '" + key + "' is out of range: '" + value + "'";
            return false;
        }
    }
    return true;
}
