// Which camera the pose is computed for, chosen once at start and said on the console.
#pragma once

#include <string>

#include "camera/pose.h"

// The --camera file, or camera.yaml in the working folder, or the ideal camera with the focal
// length of the reference points. A file that cannot describe the camera is refused with one line
// and the ideal camera used; without reference points the pose step stays off (one line).
void chooseCamera(Tracker& tracker, CameraModel& model, const std::string& given);
