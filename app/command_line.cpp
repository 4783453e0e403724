#include "app/command_line.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "capture/capture.h"

namespace {

// GLUT's options, and whether each takes a value.
struct GlutOption {
    const char* name;
    bool takesValue;
};
constexpr GlutOption kGlutOptions[] = {{"-display", true}, {"-geometry", true}, {"-iconic", false},
                                       {"-indirect", false}, {"-direct", false}, {"-gldebug", false},
                                       {"-sync", false}};

bool parseSource(const std::string& option, const std::string& value, CommandLine& out, std::string& error) {
    out.sourceGiven = true;
    if (value == "camera") {
        out.source = SourceKind::Camera;
        return true;
    }
    const std::string prefix = "synthetic";
    if (value.compare(0, prefix.size(), prefix) == 0 &&
        (value.size() == prefix.size() || value[prefix.size()] == ':')) {
        out.source = SourceKind::Virtual;
        const std::string options = value.size() > prefix.size() ? value.substr(prefix.size() + 1) : "";
        if (!parseVirtualCameraOptions(options, out.virtualCamera, error)) {
            error = option + " " + value + ": " + error;
            return false;
        }
        return true;
    }
    if (value.empty()) {
        error = option + " needs 'camera', 'synthetic[:options]' or a video file";
        return false;
    }
    out.source = SourceKind::File;
    out.sourceFile = value;
    return true;
}

}  // namespace

const char* usageText() {
    return "Usage: tovrak [options] [GLUT options]\n"
           "  --source camera|synthetic[:opts]|FILE\n"
           "                                    frames from the webcam (default), the virtual camera, or a\n"
           "                                    video file or image sequence (frame%04d.png) at its own rate;\n"
           "                                    opts: size=WxH,noise=SIGMA,blur=SIGMA,lens=0|1,seed=N,\n"
           "                                    still=0|1,start=FRAME,fps=N, or a fixed view: tilt=DEG,\n"
           "                                    azimuth=DEG,roll=DEG,distance=MM (comma-separated)\n"
           "  --loop                            play a video file again from the start when it ends\n"
           "  --device N                        webcam number N (see --list-devices; default 0)\n"
           "  --size WxH                        ask the webcam for this frame size (default 320x240)\n"
           "  --list-devices                    list the webcams, their sizes and controls, and end\n"
           "  --record FILE                     record the frames the program sees (.mkv, .mp4, .avi)\n"
           "  --keys STRING                     keys applied before the first frame, as if typed\n"
           "  --frames N                        end with status 0 after N processed frames\n"
           "  --screenshot FILE.png             write the window as displayed when the program ends\n"
           "  --poses FILE.csv                  write the tracked camera pose of every frame (keys x and k)\n"
           "  --pose refined|grid               the pose from sub-pixel corners (default), or from the\n"
           "                                    homography grid and the coplanar solve\n"
           "  --edges adaptive|fixed            the target's edges found at a threshold adapted to each\n"
           "                                    frame (default), or at the Sobel step's fixed 240 (key t)\n"
           "  --readout F                       the camera reads its rows over F of the frame interval (a rolling\n"
           "                                    shutter, 0 to 1; 0 for a global shutter; default 0.8 for a webcam,\n"
           "                                    0 for a file)\n"
           "  --model FILE                      draw this model file (3DS, OBJ, glTF, PLY, STL, Collada, ...)\n"
           "                                    on the target with key b, in place of the platform\n"
           "  --up +x|-x|+y|-y|+z|-z            the model's axis that points up (default: as the file or its\n"
           "                                    format says; key u turns the model by 90 degrees)\n"
           "  --scale MM                        draw the model at MM millimetres a unit of its file (default:\n"
           "                                    fitted to the target, 160 mm across)\n"
           "  --dump-scene FILE                 write the loaded model's scene description, with its\n"
           "                                    mesh files beside it (without --source: no camera, no window)\n"
           "  --assets DIR                      let the model read textures and other files from DIR too\n"
           "                                    (as from its own folder: DIR and below, regular files)\n"
           "  --camera FILE                     the camera's calibration (OpenCV's YAML layout; default: camera.yaml\n"
           "                                    in the working folder when there is one, else pontos1.txt)\n"
           "  --calibrate-from SOURCE           calibrate the camera from views of the target in SOURCE (as for\n"
           "                                    --source), write camera.yaml (or the --camera FILE) and end\n"
           "  --help                            this text\n"
           "Keys: g smooth+grey, c thin edges, s Sobel edges, x target, k pose, l log points,\n"
           "      p regions, e corners (+ raises the threshold), h Hough, r lens correction, t fixed edges,\n"
           "      m model, n cone, b platform (or --model), u turn the model, a calibrate from the target in view,\n"
           "      v collect views and calibrate, d source dialog, Space pause, Esc quit\n";
}

bool parseCommandLine(int argc, char** argv, CommandLine& out, std::string& error) {
    out = CommandLine{};
    out.glutArgs.push_back(argc > 0 ? argv[0] : "tovrak");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            v = argv[++i];
            return true;
        };
        // A whole number from min to max.
        auto number = [&](long min, long max, const char* what, long& n) {
            std::string v;
            if (!value(v)) return false;
            char* end = nullptr;
            errno = 0;
            n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || n < min || n > max) {
                error = arg + " needs " + what + ", got '" + v + "'";
                return false;
            }
            return true;
        };
        auto fileName = [&](std::string& name) {
            if (!value(name)) return false;
            if (name.empty()) error = arg + " needs a file name";
            return !name.empty();
        };
        std::string v;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--source") {
            if (!value(v) || !parseSource(arg, v, out, error)) return false;
        } else if (arg == "--calibrate-from") {
            if (!value(v) || !parseSource(arg, v, out, error)) return false;
            out.calibrateFrom = v;
        } else if (arg == "--camera") {
            if (!fileName(out.cameraFile)) return false;
        } else if (arg == "--loop") {
            out.loop = true;
        } else if (arg == "--list-devices") {
            out.listDevices = true;
        } else if (arg == "--device") {
            if (!number(0, 29, "a webcam number from 0 to 29", n)) return false;
            out.device = static_cast<int>(n);
        } else if (arg == "--size") {
            if (!value(v)) return false;
            if (!parseFrameSize(v, out.width, out.height)) {
                error = "--size needs WIDTHxHEIGHT, e.g. 320x240, got '" + v + "'";
                return false;
            }
        } else if (arg == "--record") {
            if (!fileName(out.record)) return false;
        } else if (arg == "--keys") {
            if (!value(out.keys)) return false;
        } else if (arg == "--frames") {
            if (!number(1, LONG_MAX, "a whole number of at least 1", out.frames)) return false;
        } else if (arg == "--poses") {
            if (!fileName(out.poses)) return false;
        } else if (arg == "--pose") {
            if (!value(v)) return false;
            if (v != "refined" && v != "grid") {
                error = "--pose needs 'refined' or 'grid', got '" + v + "'";
                return false;
            }
            out.poseMethod = v == "grid" ? PoseMethod::Grid : PoseMethod::Refined;
        } else if (arg == "--edges") {
            if (!value(v)) return false;
            if (v != "adaptive" && v != "fixed") {
                error = "--edges needs 'adaptive' or 'fixed', got '" + v + "'";
                return false;
            }
            out.fixedEdges = v == "fixed";
        } else if (arg == "--screenshot") {
            if (!fileName(out.screenshot)) return false;
        } else if (arg == "--model") {
            if (!fileName(out.model)) return false;
        } else if (arg == "--up") {
            if (!value(v)) return false;
            if (v.size() != 2 || (v[0] != '+' && v[0] != '-') || (v[1] != 'x' && v[1] != 'y' && v[1] != 'z')) {
                error = "--up needs one of +x, -x, +y, -y, +z, -z, got '" + v + "'";
                return false;
            }
            out.modelUp = v;
        } else if (arg == "--scale") {
            if (!value(v)) return false;
            char* end = nullptr;
            const double mm = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !std::isfinite(mm) || mm <= 0 || mm > 1e9) {
                error = "--scale needs millimetres a model unit, a number above 0, got '" + v + "'";
                return false;
            }
            out.modelScale = mm;
        } else if (arg == "--readout") {
            if (!value(v)) return false;
            char* end = nullptr;
            const double share = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(share >= 0 && share <= 1)) {
                error = "--readout needs the share of the frame interval the rows are read over, 0 to 1, got '" + v + "'";
                return false;
            }
            out.rowReadOut = share;
        } else if (arg == "--dump-scene") {
            if (!fileName(out.dumpScene)) return false;
        } else if (arg == "--assets") {
            if (!fileName(out.assets)) return false;
            struct stat st {};
            if (stat(out.assets.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                error = "--assets " + out.assets + ": not a folder";
                return false;
            }
        } else {
            bool glut = false;
            for (const GlutOption& g : kGlutOptions) {
                if (arg != g.name) continue;
                glut = true;
                out.glutArgs.push_back(arg);
                if (g.takesValue) {
                    if (!value(v)) return false;
                    out.glutArgs.push_back(v);
                }
            }
            if (!glut) {
                error = "unknown option '" + arg + "' (see tovrak --help)";
                return false;
            }
        }
    }
    return true;
}
