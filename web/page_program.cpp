// The program in the page: the window's start-up, frame pass and keys (app/), with the page's
// own camera (web/browser_camera.h), drawing (web/page_renderer.h) and model files
// (web/page_model_import.h). The page's script calls the functions below; everything it shows
// comes from here, and every console line goes to the page's console panel through stderr.
//
// Files live in the page's memory file system: the character and the reference points are
// packed with the page in the working folder "/", a calibration is written there (camera.yaml,
// pontos1.txt) for the script to offer and remember, the poses go to /poses.csv, and dropped
// models to a folder of their own under /models.
#include <emscripten/emscripten.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/calibration_run.h"
#include "app/camera_choice.h"
#include "app/capture_source.h"
#include "app/command_line.h"
#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "app/outputs.h"
#include "app/pose_log.h"
#include "base/data_files.h"
#include "base/report.h"
#include "bitmap/dib_reader.h"
#include "camera/lens.h"
#include "capture/capture.h"
#include "capture/virtual_backend.h"
#include "models/md2_model.h"
#include "models/shown_model.h"
#include "vision/tracker.h"
#include "web/browser_camera.h"
#include "web/page_model_import.h"
#include "web/page_renderer.h"

namespace {

constexpr char kPosesFile[] = "/poses.csv";

// What the page's calls share, made once and living as long as the page.
struct PageProgram {
    AppState app;
    CameraModel camera;
    AnimModel character;
    ShownModel model;
    CommandLine options;
    PageRenderer renderer;
    bool started = false, ended = false;
    std::string status;
    // Milliseconds of the last pass: the grab with its copy, the steps with the pose, the drawing.
    double timings[3] = {0, 0, 0};
    // The pose shown and, from the virtual camera, the truth of the frame: new pose (0/1), R (9),
    // T (3), truth known (0/1), R (9), T (3).
    double pose[26] = {};

    PageProgram() { app.s_tracker = new Tracker; }
};
PageProgram& program() {
    static PageProgram* p = new PageProgram;  // never destroyed: the page keeps it to its end
    return *p;
}

double nowMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The character and its skin, packed with the page. Without them the page runs on without the
// character (one line), as the window does.
void loadCharacter(PageProgram& p) {
    std::string triedModel;
    const std::string model = findDataFile(kModelName, &triedModel);
    const std::string skin = findDataFile(kSkinName);
    if (!importMd2(p.character, model, skin, " (the character is left out)")) return;
    const std::unique_ptr<DibImage> image = loadDibImage(skin, " (the character is left out)");
    if (!image) return;
    p.renderer.setSkin(image->pixels.data(), image->width, image->height);
    p.app.s_anim_model = &p.character;
}

// The options the page has no use for, said once each rather than silently dropped.
void noteDesktopOptions(const CommandLine& o) {
    const std::pair<bool, const char*> desktopOnly[] = {
        {!o.record.empty(), "--record"}, {!o.screenshot.empty(), "--screenshot (use the Screenshot button)"},
        {!o.model.empty(), "--model (drop the model on the page)"}, {!o.dumpScene.empty(), "--dump-scene"},
        {!o.calibrateFrom.empty(), "--calibrate-from"}, {o.listDevices, "--list-devices"}};
    for (const auto& [given, name] : desktopOnly)
        if (given) reportNote("%s is for the desktop program; the page goes on without it", name);
}

void fillPose(PageProgram& p) {
    p.pose[0] = p.app.newPoseThisPass ? 1 : 0;
    std::copy(p.camera.R, p.camera.R + 9, p.pose + 1);
    std::copy(p.camera.T, p.camera.T + 3, p.pose + 10);
    p.pose[13] = 0;
    const VirtualCamera* virtualCamera = p.app.s_capture ? virtualCameraOf(p.app.s_capture->backend.get()) : nullptr;
    if (!virtualCamera || p.app.processedFrames == 0) return;
    // The frame just processed is the last one the camera delivered.
    const VirtualFrameTruth truth = virtualCamera->truthOf(p.app.processedFrames - 1);
    p.pose[13] = 1;
    std::copy(truth.pose.R, truth.pose.R + 9, p.pose + 14);
    std::copy(truth.pose.T, truth.pose.T + 3, p.pose + 23);
}

void draw(PageProgram& p) {
    const AppState& app = p.app;
    PageContent content;
    if (!app.s_frame.empty() && app.s_frame.size() == static_cast<size_t>(app.s_width) * app.s_height * 3) {
        content.live = app.s_frame.data();
        content.processed = app.s_tracker->output;
        content.width = app.s_width, content.height = app.s_height;
    }
    if (app.s_camera && app.s_camera->hasPose) {
        content.modelview = app.s_tracker->modelview;
        content.projection = app.s_tracker->projection;
    }
    content.character = app.s_key_m ? app.s_anim_model : nullptr;
    content.cone = app.s_key_n;
    content.model = app.s_key_b && p.model.loaded ? &p.model : nullptr;
    p.renderer.draw(content);
}

}  // namespace

extern "C" {

// Starts the program with the words of a command line (one a line, without "tovrak"), as the
// page's address gives them. 0 when it runs; 2 on a bad option, 1 when the page cannot draw.
EMSCRIPTEN_KEEPALIVE int tovrak_start(const char* words) {
    PageProgram& p = program();
    if (p.started) return 0;
    std::vector<std::string> args{"tovrak"};
    for (std::string rest = words ? words : ""; !rest.empty();) {
        const size_t end = rest.find('\n');
        args.push_back(rest.substr(0, end));
        rest = end == std::string::npos ? "" : rest.substr(end + 1);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::string error;
    if (!parseCommandLine(static_cast<int>(argv.size()), argv.data(), p.options, error)) {
        reportError("%s", error.c_str());
        return 2;
    }
    noteDesktopOptions(p.options);
    if (!p.renderer.init("#tovrak-canvas")) {
        reportError("this browser gives the page no WebGL; nothing can be drawn");
        return 1;
    }
    // The page paces the frames (its animation frames, at the camera's rate): the virtual camera
    // serves each frame it is asked for.
    CommandLine source = p.options;
    if (source.source == SourceKind::Virtual) source.virtualCamera.fps = 0;
    if (source.source == SourceKind::File) {
        reportError("%s: in the page a video or picture plays when it is dropped on the page", source.sourceFile.c_str());
        source.source = SourceKind::Virtual;
    }
    p.app.s_capture = openCaptureSource(source, error);
    p.app.s_pose_path = p.options.poses.empty() ? kPosesFile : p.options.poses;
    p.app.s_pose_file = std::fopen(p.app.s_pose_path.c_str(), "w");
    if (p.app.s_pose_file) writePoseHeader(p.app.s_pose_file);
    loadCharacter(p);
    captureSelectDevice(p.app.s_capture, 0);
    captureSetRunning(p.app.s_capture, 1);
    // As the window: the lens report for the frame size, once it is known (the virtual camera's
    // now; a browser camera's with its first picture, when key r builds its tables).
    captureGetSize(p.app.s_capture, &p.app.s_width, &p.app.s_height);
    followFrameSize(p.app);
    if (p.app.s_width > 0) {
        initLensCorrection(*p.app.s_tracker);
        std::printf("\n");
    }
    p.app.s_camera = &p.camera;
    p.camera.method = p.options.poseMethod;
    p.app.tracking.edges().setAdaptive(!p.options.fixedEdges);
    p.app.s_row_read_out = p.options.rowReadOut;
    p.app.s_camera_file = p.options.cameraFile;
    chooseCamera(*p.app.s_tracker, p.camera, p.options.cameraFile);
    p.started = true;
    for (unsigned char key : p.options.keys) handleKey(p.app, key);
    return 0;
}

// One pass: the newest frame through the steps the keys chose, then the drawing. 1 when a new
// frame was processed, 0 when there was none (the picture is drawn again), -1 once the run ended.
// `drawOnly`: the page has no new picture; the last frame is drawn again (the character moves on)
// without being processed a second time.
EMSCRIPTEN_KEEPALIVE int tovrak_frame(int drawOnly) {
    PageProgram& p = program();
    if (!p.started || p.ended) return -1;
    if (drawOnly) {
        draw(p);
        return 0;
    }
    const double start = nowMs();
    const int widthBefore = p.app.s_width;
    // --frames: the last frame stays in view, the character moving on it.
    const bool more = p.options.frames <= 0 || p.app.processedFrames < p.options.frames;
    const bool processed = more && runFramePass(p.app);
    const double stepped = nowMs();
    if (processed) {
        fillPose(p);
        updateFrameRate(p.app.frameRate);  // frames processed a second, as the window counts them
    }
    draw(p);
    p.timings[1] = stepped - start;
    p.timings[2] = nowMs() - stepped;
    if (p.app.s_width != widthBefore)
        reportNote("frames of %d x %d", p.app.s_width, p.app.s_height);
    p.status.clear();
    if (p.app.s_views) {
        char text[96];
        std::snprintf(text, sizeof text, "views %d/%d, %.0f %% of the picture", static_cast<int>(p.app.s_views->views.size()),
                      kWindowCalibrationViews, 100 * viewCoverage(p.app.s_views->views, p.app.s_width, p.app.s_height));
        p.status = text;
    }
    return processed ? 1 : 0;
}

// A key typed or a button pressed: 1 when it ended the run (Esc).
EMSCRIPTEN_KEEPALIVE int tovrak_key(int key) {
    PageProgram& p = program();
    if (!p.started || p.ended || key <= 0 || key > 255) return p.ended ? 1 : 0;
    if (handleKey(p.app, static_cast<unsigned char>(key)) != KeyAction::Exit) {
        // The window's platform model is a 3DS file, which the page cannot read.
        if (key == 'b' && p.app.s_key_b && !p.model.loaded)
            reportNote("the page has no platform: drop a glTF or OBJ model on the page to stand it on the target");
        return 0;
    }
    p.ended = true;
    closeOutputs(p.app);
    return 1;
}

// Whether the step or choice behind a key is on: the buttons show it.
EMSCRIPTEN_KEEPALIVE int tovrak_key_state(int key) {
    const AppState& a = program().app;
    switch (key) {
        case 'g': return a.s_key_g;
        case 'r': return a.s_key_r;
        case 'c': return a.s_key_c;
        case 's': return a.s_key_s;
        case 'e': return a.s_key_e;
        case 'h': return a.s_key_h;
        case 'x': return a.s_key_x;
        case 'p': return a.s_key_p;
        case 'k': return a.s_key_k;
        case 'm': return a.s_key_m;
        case 'n': return a.s_key_n;
        case 'b': return a.s_key_b;
        case 'l': return a.s_log_enabled;
        case 't': return program().app.tracking.edges().adaptive() ? 1 : 0;
        case 'v': return a.s_views != nullptr;
        case ' ': return captureSetRunning(a.s_capture, -1) ? 0 : 1;  // paused
        default: return 0;
    }
}

// The page's picture of the browser camera, video or image: RGBA, top row first.
EMSCRIPTEN_KEEPALIVE uint8_t* tovrak_frame_buffer(int width, int height) { return browserFrameBuffer(width, height); }
EMSCRIPTEN_KEEPALIVE void tovrak_frame_written() { browserFrameWritten(); }

EMSCRIPTEN_KEEPALIVE void tovrak_set_layout(int stacked, int scale) {
    PageLayout layout;
    layout.stacked = stacked != 0;
    layout.scale = scale < 1 ? 1 : scale > 4 ? 4 : scale;
    program().renderer.setLayout(layout);
}

// A model dropped on the page, written with the files dropped with it into a folder of its own.
// 1 when it is drawn with key b; 0 after one line saying why not.
EMSCRIPTEN_KEEPALIVE int tovrak_load_model(const char* file) {
    PageProgram& p = program();
    const double start = nowMs();
    ImportedModel imported;
    std::string why;
    if (!importPageModel(file, imported, why)) {
        reportLine("Error loading model file %s.", file);
        reportLine("%s", why.c_str());
        return 0;
    }
    for (const std::string& w : imported.warnings) reportWarning("%s: %s", file, w.c_str());
    ShownModel model;
    model.isPlatform = false;
    model.loaded = true;
    model.up = parseUp(p.options.modelUp, imported.up);
    model.fixedScale = p.options.modelScale;
    // Bounds in the file's axes: every vertex placed by its node.
    for (int r = 0; r < 3; ++r) model.boxMin[r] = HUGE_VAL, model.boxMax[r] = -HUGE_VAL;
    const std::vector<std::array<float, 16>> world = nodeWorldTransforms(imported);
    for (size_t i = 0; i < imported.nodes.size(); ++i) {
        const ImportedNode& node = imported.nodes[i];
        const std::array<float, 16>& m = world[i];
        for (int meshIndex : node.meshes) {
            const ImportedMesh& mesh = imported.meshes[meshIndex];
            model.triangles += static_cast<int>(mesh.faces.size() / 3);
            for (size_t v = 0; v + 2 < mesh.positions.size(); v += 3)
                for (int r = 0; r < 3; ++r) {
                    const double x = m[r] * mesh.positions[v] + m[4 + r] * mesh.positions[v + 1] + m[8 + r] * mesh.positions[v + 2] + m[12 + r];
                    model.boxMin[r] = std::min(model.boxMin[r], x), model.boxMax[r] = std::max(model.boxMax[r], x);
                }
        }
    }
    fitToTarget(model);
    p.renderer.setModel(imported);
    model.loadSeconds = (nowMs() - start) / 1000;
    p.model = model;
    p.app.s_shown_model = &p.model;
    reportLine("Model %s: %d triangles in %.2f s, %s up, drawn at %.4g mm a unit", file, model.triangles,
               model.loadSeconds, upWords(model.up).c_str(), model.scale);
    if (!p.app.s_key_b) handleKey(p.app, 'b');
    return 1;
}

EMSCRIPTEN_KEEPALIVE double tovrak_fps() { return program().app.frameRate.s_fps; }
EMSCRIPTEN_KEEPALIVE const char* tovrak_status() { return program().status.c_str(); }
EMSCRIPTEN_KEEPALIVE const double* tovrak_pose() { return program().pose; }
EMSCRIPTEN_KEEPALIVE const double* tovrak_timings() { return program().timings; }
EMSCRIPTEN_KEEPALIVE int tovrak_frame_width() { return program().app.s_width; }
EMSCRIPTEN_KEEPALIVE int tovrak_frame_height() { return program().app.s_height; }
// The virtual camera's frame rate, at which the page asks it for frames; 0 for the browser's
// camera, whose own frames pace the page, and for a virtual camera at fps=0.
EMSCRIPTEN_KEEPALIVE double tovrak_source_fps() {
    const PageProgram& p = program();
    if (p.options.source != SourceKind::Virtual) return 0;
    return p.options.virtualCamera.fps;  // 0: every animation frame
}
// Another source without reloading the page: 1 the virtual camera (with the options the page was
// opened with), 0 the browser's camera, video or picture.
EMSCRIPTEN_KEEPALIVE void tovrak_switch_source(int virtualCamera) {
    PageProgram& p = program();
    if (!p.started || p.ended) return;
    captureDestroy(p.app.s_capture);
    CommandLine source = p.options;
    source.source = virtualCamera ? SourceKind::Virtual : SourceKind::Camera;
    source.virtualCamera.fps = 0;
    p.options.source = source.source;
    std::string error;
    p.app.s_capture = openCaptureSource(source, error);
    captureSelectDevice(p.app.s_capture, 0);
    captureSetRunning(p.app.s_capture, 1);
}

// A camera file dropped on the page (or remembered from an earlier visit): used from the next
// frame on, or refused with one line and the ideal camera used, as at start.
EMSCRIPTEN_KEEPALIVE void tovrak_use_camera_file(const char* file) {
    PageProgram& p = program();
    if (!p.started) return;
    chooseCamera(*p.app.s_tracker, p.camera, file);
    p.app.s_focal_scaled_width = p.app.s_focal_scaled_height = 0;  // scaled to the frames again
}

// Brings the pose file up to date, so that the page can offer it.
EMSCRIPTEN_KEEPALIVE void tovrak_flush() {
    if (program().app.s_pose_file) std::fflush(program().app.s_pose_file);
}

}  // extern "C"
