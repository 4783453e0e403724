// The program's own command-line options. GLUT's options (-display, -geometry, ...) are left
// for glutInit.
#pragma once

#include <string>
#include <vector>

#include "camera/pose.h"
#include "capture/virtual_camera.h"

enum class SourceKind { Camera, Virtual, File };

struct CommandLine {
    SourceKind source = SourceKind::Camera;
    bool sourceGiven = false;  // --source or --calibrate-from named one
    VirtualCameraOptions virtualCamera;
    std::string sourceFile;  // a video file or image sequence
    bool loop = false;       // play the file again from the start when it ends
    int device = 0;          // webcam number
    int width = 0, height = 0;  // --size; 0 keeps the preferred 320 x 240
    std::string record;      // video file of the frames the program sees
    bool listDevices = false;
    std::string keys;        // typed before the first frame
    long frames = -1;        // end after this many processed frames; -1 runs until Esc
    std::string screenshot;  // PNG written at the end
    std::string poses;       // CSV of the tracked pose, one row per processed frame
    PoseMethod poseMethod = PoseMethod::Refined;  // --pose refined|grid
    bool fixedEdges = false;  // --edges fixed: the Sobel step's own threshold for the target
    std::string model;       // --model: drawn on the target with key "b" instead of the platform
    std::string dumpScene;   // --dump-scene: the loaded model's scene description
    std::string assets;      // --assets: a folder the model may read from as well as its own
    std::string modelUp;     // --up: the model's axis that points up (+x ... -z); empty: as the file says
    double modelScale = 0;   // --scale: millimetres a model unit; 0 fits the model to the target
    double rowReadOut = -1;  // --readout: the share of a frame the rows are read over; negative: the source's
    std::string cameraFile;     // --camera: the camera's calibration file
    std::string calibrateFrom;  // --calibrate-from: calibrate from this source (also in `source`) and end
    bool help = false;
    std::vector<std::string> glutArgs;  // argv[0] and GLUT's own options
};

// False with a one-line reason on a bad option.
bool parseCommandLine(int argc, char** argv, CommandLine& out, std::string& error);
const char* usageText();
