#include "app/application.h"

#include <GL/freeglut.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/exit_status.h"
#include "app/calibration_run.h"
#include "app/camera_choice.h"
#include "app/capture_source.h"
#include "app/command_line.h"
#include "base/data_files.h"
#include "app/outputs.h"
#include "app/pose_log.h"
#include "window/display.h"
#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "window/screenshot.h"
#include "window/shown_model.h"
#include "camera/camera_file.h"
#include "camera/lens.h"
#include "camera/pose.h"
#include "capture/capture.h"
#include "capture/media_file.h"
#include "capture/properties.h"
#include "capture/v4l2_backend.h"
#include "models/model_factory.h"
#include "models/md2_draw.h"
#include "capture/virtual_backend.h"
#include "base/report.h"
#include "vision/tracker.h"

namespace {

// Everything the window's callbacks share: the application state and what it points to, made
// before main and living to the end (its Tracker too, never destroyed).
struct Program {
    AppState app;
    CameraModel camera;
    AnimModel character;
    ShownModel shownModel;
    unsigned int textureNames[1] = {};
    VideoRecorder recorder;
    CommandLine options;
    bool finishing = false;  // the last frame was processed: the next display pass ends the run

    Program() { app.s_tracker = new Tracker; }
};
Program s_program;
// The signal that asked the run to end (SIGINT, SIGTERM, SIGHUP), or 0.
volatile std::sig_atomic_t s_stop_signal = 0;

void writeScreenshot(bool fromFront) {
    if (s_program.options.screenshot.empty()) return;
    std::string error;
    if (saveWindowScreenshot(s_program.options.screenshot, fromFront, error)) {
        reportNote("screenshot written to %s", s_program.options.screenshot.c_str());
    } else {
        reportError("%s", error.c_str());
        s_program.app.s_output_failed = true;
    }
}

// Every way out of a running program comes here: the outputs are finished and closed, then the
// program ends with `status`, or, after a signal, is ended by that signal as if unhandled.
[[noreturn]] void endRun(int status, bool screenshotFromFront) {
    writeScreenshot(screenshotFromFront);
    closeOutputs(s_program.app);
    captureDestroy(s_program.app.s_capture);
    s_program.app.s_capture = nullptr;
    std::fflush(stdout);
    std::fflush(stderr);
    if (const int sig = s_stop_signal) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    std::exit(s_program.app.s_output_failed && status == 0 ? kExitOutputFailed : status);
}

void onStopSignal(int sig) { s_stop_signal = sig; }

// Ctrl-C, kill and a closed terminal end the run as Esc does, from the frame loop, so that the
// recording gets its end and every file is complete.
void catchStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

void finishRun() { endRun(0, false); }

void idle() {
    if (s_stop_signal) endRun(0, false);
    if (s_program.finishing) return;
    if (!runFramePass(s_program.app)) {
        // A recording that has played to its end ends the run, as --frames does.
        if (captureAtEnd(s_program.app.s_capture)) {
            s_program.finishing = true;
            glutPostRedisplay();
            return;
        }
        // Paused or no stream: nothing to do, and no reason to spin a core.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return;
    }
    if (s_program.options.frames > 0 && s_program.app.processedFrames >= s_program.options.frames) s_program.finishing = true;
    glutPostRedisplay();
}

void display() {
    WindowContent content;
    const AppState& app = s_program.app;
    if (!app.s_frame.empty() && app.s_frame.size() == static_cast<size_t>(app.s_width) * app.s_height * 3) {
        content.live = app.s_frame.data();
        content.processed = app.s_tracker->output;
        content.width = app.s_width, content.height = app.s_height;
    }
    content.modelview = app.s_tracker->modelview, content.projection = app.s_tracker->projection;
    content.model = app.s_key_b ? app.s_shown_model : nullptr;
    content.character = app.s_key_m ? app.s_anim_model : nullptr;
    content.cone = app.s_key_n;
    char status[96];
    if (app.s_views) {  // key v: how the collection stands
        std::snprintf(status, sizeof status, "views %d/%d, %.0f %% of the picture", static_cast<int>(app.s_views->views.size()),
                      kWindowCalibrationViews, 100 * viewCoverage(app.s_views->views, app.s_width, app.s_height));
        content.status = status;
    }
    displayFrame(content, s_program.app.frameRate);
    if (s_program.finishing) finishRun();
    glutSwapBuffers();
}

void keyboard(unsigned char key, int, int) {
    switch (handleKey(s_program.app, key)) {
        case KeyAction::Exit: endRun(kEscExitStatus, true);
        case KeyAction::Redisplay: glutPostRedisplay(); break;
        case KeyAction::None: break;
    }
}

void reshape(int width, int height) { reshapeWindow(width, height); }

// --list-devices: every webcam with its sizes and controls.
int listDevices() {
    CaptureDevice* dev = captureCreateWith(createCameraBackend(0, 0));
    if (!dev) {
        std::printf("No video capture device found (looked at /dev/video*).\n");
        return 0;
    }
    for (int n = 0; const char* name = captureGetDeviceName(dev, n); ++n) {
        std::printf("%s\n", name);
        if (!captureSelectDevice(dev, n)) {
            std::printf("    cannot be opened for 24-bit colour\n");
            continue;
        }
        int w = 0, h = 0;
        captureGetSize(dev, &w, &h);
        std::printf("    current size %dx%d; sizes:", w, h);
        for (auto [sw, sh] : v4l2FrameSizes(dev->backend.get())) std::printf(" %dx%d", sw, sh);
        std::printf("\n");
        int count = 0;
        const int* codes = propertyCodes(&count);
        for (int i = 0; i < count; ++i) {
            double value = 0;
            if (captureGetProperty(dev, propertyName(codes[i]), &value)) std::printf("    %-27s %5.1f %%\n", propertyName(codes[i]), value);
        }
    }
    captureDestroy(dev);
    return 0;
}

// The character and its skin. A model that cannot be read leaves the character out; a skin
// that cannot be read ends the program: a character without its skin is not drawn half-made.
void loadAnimModel() {
    std::string triedModel, triedSkin;
    const std::string model = findDataFile(kModelName, &triedModel);
    const std::string skin = findDataFile(kSkinName, &triedSkin);
    if (!importMd2(s_program.character, model, skin,
                   " (" + std::string(kModelName) + " was looked for in " + triedModel + "; the character is left out)"))
        return;
    for (size_t i = 0; i < s_program.character.materials.size(); ++i) {
        if (!createSkinTexture(s_program.textureNames, s_program.character.materials[i].file, static_cast<int>(i),
                               " (the skin " + std::string(kSkinName) + " was looked for in " + triedSkin +
                                   "; the program ends without it)"))
            std::exit(0);
        s_program.character.materials[i].textureId = static_cast<int>(i);
    }
    s_program.app.s_anim_model = &s_program.character;
}

// Whether the screenshot's file can be written, asked before the run rather than after it. A
// file this creates is removed again: the screenshot itself comes at the end.
bool canCreate(const std::string& path) {
    const bool existed = access(path.c_str(), F_OK) == 0;
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return false;
    std::fclose(f);
    if (!existed) std::remove(path.c_str());
    return true;
}

// Every file the run is asked to write, looked at before anything runs: a FIFO or a device in its
// place would block the run or swallow what it writes. One line for the first such.
bool outputsCanBeWritten(const CommandLine& o) {
    const std::pair<const char*, const std::string*> outputs[] = {
        {"--poses", &o.poses}, {"--screenshot", &o.screenshot}, {"--record", &o.record},
        {"--camera", o.calibrateFrom.empty() ? nullptr : &o.cameraFile}};
    for (const auto& [option, path] : outputs) {
        struct stat st {};
        if (path && !path->empty() && stat(path->c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            reportError("%s %s: is not a regular file; nothing is written to it", option, path->c_str());
            return false;
        }
    }
    return true;
}

bool haveDisplay() {
    if (const char* d = std::getenv("DISPLAY"); d && *d) return true;
    for (const std::string& a : s_program.options.glutArgs)
        if (a == "-display") return true;
    return false;
}

}  // namespace

int runApplication(int argc, char** argv) {
    std::string error;
    if (!parseCommandLine(argc, argv, s_program.options, error)) {
        reportError("%s (tovrak --help lists the options)", error.c_str());
        return kExitBadOption;
    }
    if (s_program.options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (s_program.options.listDevices) return listDevices();
    if (!outputsCanBeWritten(s_program.options)) return kExitBadOption;
    if (!s_program.options.calibrateFrom.empty()) return runCalibration(s_program.options);
    // A scene description needs the model, not frames: without a --source, no camera is opened
    // and no window either. Status 1 when the model cannot be read, 3 when the description
    // cannot be written.
    if (!s_program.options.dumpScene.empty() && !s_program.options.sourceGiven) {
        const CommandLine& o = s_program.options;
        if (!loadShownModel({o.model, o.dumpScene, o.modelUp, o.modelScale, o.assets}, s_program.shownModel)) return kExitFailed;
        return s_program.shownModel.dumpFailed ? kExitOutputFailed : kExitOk;
    }
    // From here on a stop signal is answered by the frame loop, which finishes every file.
    catchStopSignals();

    if (!s_program.options.poses.empty()) {
        s_program.app.s_pose_path = s_program.options.poses;
        s_program.app.s_pose_file = std::fopen(s_program.options.poses.c_str(), "w");
        if (!s_program.app.s_pose_file) {
            reportError("--poses %s: %s", s_program.options.poses.c_str(), std::strerror(errno));
            return kExitBadOption;
        }
        writePoseHeader(s_program.app.s_pose_file);
    }
    if (!s_program.options.screenshot.empty() && !canCreate(s_program.options.screenshot)) {
        reportError("--screenshot %s: %s", s_program.options.screenshot.c_str(), std::strerror(errno));
        return kExitBadOption;
    }

    s_program.app.s_log_file = std::fopen(kPointLogName, "w+");
    if (!s_program.app.s_log_file) {
        reportWarning("cannot open the point log \"%s\" (%s); points will not be logged",
                     kPointLogName, std::strerror(errno));
    }

    // The device is looked for before the window opens, so that a machine without a camera
    // (or without a display) gets the plain answer rather than a window flashing up.
    std::string sourceError;
    s_program.app.s_capture = openCaptureSource(s_program.options, sourceError);
    if (!sourceError.empty()) {
        reportError("cannot play %s: %s", s_program.options.sourceFile.c_str(), sourceError.c_str());
        return kExitFailed;
    }
    if (!s_program.app.s_capture) {
        reportLine("No Capture Device!");
        return 0;
    }
    if (!haveDisplay()) {
        reportError("no display to open the window on (set DISPLAY, or run under xvfb-run)");
        captureDestroy(s_program.app.s_capture);
        return kExitFailed;
    }

    std::vector<char*> glutArgv;
    for (std::string& a : s_program.options.glutArgs) glutArgv.push_back(a.data());
    int glutArgc = static_cast<int>(glutArgv.size());
    glutInit(&glutArgc, glutArgv.data());
    // Double-buffered RGBA with multisampling; the window keeps its caption.
    // A depth buffer too: the character enables depth testing, which needs one to hide its far
    // side behind its near side.
    glutInitDisplayMode(GLUT_DOUBLE | GLUT_MULTISAMPLE | GLUT_RGBA | GLUT_DEPTH);
    glutInitWindowPosition(0, 0);
    glutInitWindowSize(kWindowWidth, kWindowHeight);
    glutCreateWindow("Tovrak");
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    initGL();
    loadAnimModel();
    // A model that cannot be read is left out; the rest of the workbench runs on without it.
    // Ctrl-C while a model loads stops the load; the frame loop then ends the run.
    setImportCancelCheck([] { return s_stop_signal != 0; });
    if (loadShownModel({s_program.options.model, s_program.options.dumpScene, s_program.options.modelUp, s_program.options.modelScale, s_program.options.assets}, s_program.shownModel))
        s_program.app.s_shown_model = &s_program.shownModel;
    if (s_program.shownModel.dumpFailed) s_program.app.s_output_failed = true;

    const int device = s_program.options.source == SourceKind::Camera ? s_program.options.device : 0;
    if (!captureSelectDevice(s_program.app.s_capture, device))
        reportError("capture device %d cannot be opened (see tovrak --list-devices)", device);
    captureSetRunning(s_program.app.s_capture, 1);
    captureShowFormatDialog(s_program.app.s_capture, nullptr);
    captureGetSize(s_program.app.s_capture, &s_program.app.s_width, &s_program.app.s_height);
    followFrameSize(s_program.app);
    if (!s_program.options.record.empty()) {
        std::string error;
        if (!s_program.recorder.open(s_program.options.record, s_program.app.s_width, s_program.app.s_height, 30, error)) {
            reportError("--record %s: %s", s_program.options.record.c_str(), error.c_str());
            captureDestroy(s_program.app.s_capture);
            return kExitBadOption;
        }
        s_program.app.s_recorder = &s_program.recorder;
        s_program.app.s_record_path = s_program.options.record;
    }
    initLensCorrection(*s_program.app.s_tracker);
    std::printf("\n");
    s_program.app.s_camera = &s_program.camera;
    s_program.camera.method = s_program.options.poseMethod;
    s_program.app.tracking.edges().setAdaptive(!s_program.options.fixedEdges);
    s_program.app.s_row_read_out = s_program.options.rowReadOut;
    s_program.app.s_camera_file = s_program.options.cameraFile;
    chooseCamera(*s_program.app.s_tracker, s_program.camera, s_program.options.cameraFile);

    for (unsigned char key : s_program.options.keys) keyboard(key, 0, 0);
    glutMainLoop();
    return kExitFailed;
}
