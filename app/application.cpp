#include "app/application.h"

#include <GL/freeglut.h>

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
#include "app/capture_source.h"
#include "app/command_line.h"
#include "app/data_files.h"
#include "app/outputs.h"
#include "app/pose_log.h"
#include "app/display.h"
#include "app/frame_loop.h"
#include "app/keyboard.h"
#include "app/screenshot.h"
#include "app/shown_model.h"
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
#include "imageio/report.h"
#include "vision/tracker.h"

namespace {

// The one application state; its Tracker is made before main and lives to the end.
AppState s_app = [] {
    AppState app;
    app.s_tracker = new Tracker;
    return app;
}();
CameraModel s_cameraModel;
AnimModel s_animModel;
ShownModel s_shownModel;
unsigned int s_textureNames[1];
VideoRecorder s_recorder;
CommandLine s_options;
bool s_finishing = false;
// The signal that asked the run to end (SIGINT, SIGTERM, SIGHUP), or 0.
volatile std::sig_atomic_t s_stop_signal = 0;

void writeScreenshot(bool fromFront) {
    if (s_options.screenshot.empty()) return;
    std::string error;
    if (saveWindowScreenshot(s_options.screenshot, fromFront, error)) {
        reportNote("screenshot written to %s", s_options.screenshot.c_str());
    } else {
        reportError("%s", error.c_str());
        s_app.s_output_failed = true;
    }
}

// Every way out of a running program comes here: the outputs are finished and closed, then the
// program ends with `status`, or, after a signal, is ended by that signal as if unhandled.
[[noreturn]] void endRun(int status, bool screenshotFromFront) {
    writeScreenshot(screenshotFromFront);
    closeOutputs(s_app);
    captureDestroy(s_app.s_capture);
    s_app.s_capture = nullptr;
    std::fflush(stdout);
    std::fflush(stderr);
    if (const int sig = s_stop_signal) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    std::exit(s_app.s_output_failed && status == 0 ? kExitOutputFailed : status);
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
    if (s_finishing) return;
    if (!runFramePass(s_app)) {
        // A recording that has played to its end ends the run, as --frames does.
        if (captureAtEnd(s_app.s_capture)) {
            s_finishing = true;
            glutPostRedisplay();
            return;
        }
        // Paused or no stream: nothing to do, and no reason to spin a core.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return;
    }
    if (s_options.frames > 0 && s_app.processedFrames >= s_options.frames) s_finishing = true;
    glutPostRedisplay();
}

void display() {
    displayFrame(s_app);
    if (s_finishing) finishRun();
    glutSwapBuffers();
}

void keyboard(unsigned char key, int, int) {
    switch (handleKey(s_app, key)) {
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
// that cannot be read ends the program, as it always has.
void loadAnimModel() {
    std::string triedModel, triedSkin;
    const std::string model = findDataFile(kModelName, &triedModel);
    const std::string skin = findDataFile(kSkinName, &triedSkin);
    if (!importMd2(s_animModel, model, skin,
                   " (" + std::string(kModelName) + " was looked for in " + triedModel + "; the character is left out)"))
        return;
    for (size_t i = 0; i < s_animModel.materials.size(); ++i) {
        if (!createSkinTexture(s_textureNames, s_animModel.materials[i].file, static_cast<int>(i),
                               " (the skin " + std::string(kSkinName) + " was looked for in " + triedSkin +
                                   "; the program ends without it)"))
            std::exit(0);
        s_animModel.materials[i].textureId = static_cast<int>(i);
    }
    s_app.s_anim_model = &s_animModel;
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

// The camera: the --camera file, or camera.yaml in the working folder, or the focal length of
// the reference points. Said once on the console.
void chooseCamera(Tracker& tracker, CameraModel& model, const std::string& given) {
    const std::string file = !given.empty() ? given : access(kCameraFileName, F_OK) == 0 ? kCameraFileName : "";
    if (!file.empty()) {
        CameraIntrinsics camera;
        std::string why;
        if (readCameraFile(file, camera, why)) {
            useCamera(tracker, model, camera, file);
            reportNote("camera from %s: fx %.1f fy %.1f px, principal point (%.1f, %.1f) at %d x %d%s", file.c_str(),
                       camera.fx, camera.fy, camera.cx, camera.cy, camera.width, camera.height,
                       camera.distorted() ? ", with its lens distortion" : "");
            return;
        }
        reportError("%s: %s; the ideal camera of the reference points is used", file.c_str(), why.c_str());
    }
    const std::string points = findDataFile(kReferencePointsName);
    if (!calibrateCamera(tracker, model, points)) {
        reportError("%s; the pose step is disabled", model.whyNotReady.c_str());
        return;
    }
    reportNote("camera: the ideal camera with the focal length of %s (%.1f px at 320 x 240)", points.c_str(),
               model.camera.fx);
}

bool haveDisplay() {
    if (const char* d = std::getenv("DISPLAY"); d && *d) return true;
    for (const std::string& a : s_options.glutArgs)
        if (a == "-display") return true;
    return false;
}

}  // namespace

int runApplication(int argc, char** argv) {
    std::string error;
    if (!parseCommandLine(argc, argv, s_options, error)) {
        reportError("%s (tovrak --help lists the options)", error.c_str());
        return kExitBadOption;
    }
    if (s_options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (s_options.listDevices) return listDevices();
    if (!s_options.calibrateFrom.empty()) return runCalibration(s_options);
    // From here on a stop signal is answered by the frame loop, which finishes every file.
    catchStopSignals();

    if (!s_options.poses.empty()) {
        s_app.s_pose_path = s_options.poses;
        s_app.s_pose_file = std::fopen(s_options.poses.c_str(), "w");
        if (!s_app.s_pose_file) {
            reportError("--poses %s: %s", s_options.poses.c_str(), std::strerror(errno));
            return kExitBadOption;
        }
        writePoseHeader(s_app.s_pose_file);
    }
    if (!s_options.screenshot.empty() && !canCreate(s_options.screenshot)) {
        reportError("--screenshot %s: %s", s_options.screenshot.c_str(), std::strerror(errno));
        return kExitBadOption;
    }

    s_app.s_log_file = std::fopen(kPointLogName, "w+");
    if (!s_app.s_log_file) {
        reportWarning("cannot open the point log \"%s\" (%s); points will not be logged",
                     kPointLogName, std::strerror(errno));
    }

    // The device is looked for before the window opens, so that a machine without a camera
    // (or without a display) gets the plain answer rather than a window flashing up.
    std::string sourceError;
    s_app.s_capture = openCaptureSource(s_options, sourceError);
    if (!sourceError.empty()) {
        reportError("cannot play %s: %s", s_options.sourceFile.c_str(), sourceError.c_str());
        return kExitFailed;
    }
    if (!s_app.s_capture) {
        reportLine("No Capture Device!");
        return 0;
    }
    if (!haveDisplay()) {
        reportError("no display to open the window on (set DISPLAY, or run under xvfb-run)");
        captureDestroy(s_app.s_capture);
        return kExitFailed;
    }

    std::vector<char*> glutArgv;
    for (std::string& a : s_options.glutArgs) glutArgv.push_back(a.data());
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
    if (loadShownModel({s_options.model, s_options.dumpScene, s_options.modelUp, s_options.modelScale}, s_shownModel))
        s_app.s_shown_model = &s_shownModel;
    if (s_shownModel.dumpFailed) s_app.s_output_failed = true;

    const int device = s_options.source == SourceKind::Camera ? s_options.device : 0;
    if (!captureSelectDevice(s_app.s_capture, device))
        reportError("capture device %d cannot be opened (see tovrak --list-devices)", device);
    captureSetRunning(s_app.s_capture, 1);
    captureShowFormatDialog(s_app.s_capture, nullptr);
    captureGetSize(s_app.s_capture, &s_app.s_width, &s_app.s_height);
    followFrameSize(s_app);
    if (!s_options.record.empty()) {
        std::string error;
        if (!s_recorder.open(s_options.record, s_app.s_width, s_app.s_height, 30, error)) {
            reportError("--record %s: %s", s_options.record.c_str(), error.c_str());
            captureDestroy(s_app.s_capture);
            return kExitBadOption;
        }
        s_app.s_recorder = &s_recorder;
        s_app.s_record_path = s_options.record;
    }
    initLensCorrection(*s_app.s_tracker);
    std::printf("\n");
    s_app.s_camera = &s_cameraModel;
    s_cameraModel.method = s_options.poseMethod;
    s_app.tracking.edges().setAdaptive(!s_options.fixedEdges);
    s_app.s_camera_file = s_options.cameraFile;
    chooseCamera(*s_app.s_tracker, s_cameraModel, s_options.cameraFile);

    for (unsigned char key : s_options.keys) keyboard(key, 0, 0);
    glutMainLoop();
    return kExitFailed;
}
