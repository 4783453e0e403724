// Camera files in the layout of OpenCV's calibration YAML ("camera.yaml"), so that OpenCV's
// cv::FileStorage reads ours and we read those its calibration tools write:
//
//     %YAML:1.0
//     ---
//     image_width: 640
//     image_height: 480
//     camera_matrix: !!opencv-matrix
//        rows: 3
//        cols: 3
//        dt: d
//        data: [ fx, 0., cx, 0., fy, cy, 0., 0., 1. ]
//     distortion_coefficients: !!opencv-matrix
//        rows: 1
//        cols: 5
//        dt: d
//        data: [ k1, k2, p1, p2, k3 ]
//     avg_reprojection_error: 0.12
//
// The file's numbers are OpenCV's: rows counted from the top of the picture. Ours count from the
// bottom (docs/conventions.md), so on the way in and out cy becomes (h - 1) - cy and p1 changes
// sign (camera/camera_intrinsics.h).
#pragma once

#include <string>

#include "camera/camera_intrinsics.h"

constexpr char kCameraFileName[] = "camera.yaml";
// Camera files are a few hundred bytes; anything much larger is not one.
constexpr size_t kMaxCameraFileBytes = 64 * 1024;

// Reads a camera file; false with `error` one short reason (without the file name): a missing
// field, a number that is not one, a size or focal length that describes no camera.
// Distortion with 4, 5, 8, 12 or 14 coefficients is read; beyond the fifth they must be 0.
[[nodiscard]] bool readCameraFile(const std::string& path, CameraIntrinsics& camera, std::string& error);
// The same from the file's text.
[[nodiscard]] bool parseCameraText(const std::string& text, CameraIntrinsics& camera, std::string& error);
// Writes one; false with the reason when it cannot be written.
[[nodiscard]] bool writeCameraFile(const std::string& path, const CameraIntrinsics& camera, double rmsErrorPx,
                                   std::string& error);
