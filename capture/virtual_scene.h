// Geometry of the virtual camera's world: the printed target on a white sheet on a light desk,
// a pinhole camera moving along a smooth repeatable path. The webcam lens is camera/lens.h's.
//
// Conventions shared with the pose code (docs/conventions.md): a world point Pw maps to the camera as
// Pc = R Pw + T (R row-major, world to camera); the camera looks along +z; the image point is
// x = f Xc / Zc, y = f Yc / Zc in pixels from the image centre, and buffer pixel (row, col)
// has its centre at x = col - width/2, y = row - height/2. The target lies in the plane
// Zw = 0 with the camera on its Zw < 0 side, so the target's normal towards the camera is -Zw.
#pragma once

#include <array>

#include "vision/target_model.h"  // the target and its sheet, millimetres

struct CameraPose {
    double R[9];
    double T[3];
};

// The ten target points in the order the target step reports them: the four inner corners,
// the inner centre, the four outer corners, the outer centre.
std::array<std::array<double, 2>, 10> targetModelPoints();

// Focal length in pixels of the virtual camera for a frame width.
double virtualFocalLength(int width);

// The paths the virtual camera moves along, all sums of slow sines (a hand-held camera drifting
// around the target), at 30 frames a second:
//   Standard  470 +- 100 mm away, tilted 7 to 37 degrees, going round the target in 16 s;
//   Upright   the same distances, tilts and looks from straight in front of the target, turned
//             at most 1.5 degrees: the target stays upright in the picture;
//   Far       1.2 to 2.5 m away, tilted 7 to 37 degrees (the thinnest border 3 to 6 px wide at
//             320 x 240);
//   Steep     470 +- 100 mm away, tilted 55 to 75 degrees.
enum class VirtualPath { Standard, Upright, Far, Steep };
// The pose at a (possibly fractional) frame number of a path.
CameraPose pathPose(VirtualPath path, double frame);

// Pose of a camera at `distance` from the point (lookX, lookY) of the target plane, its axis
// tilted by `tiltDeg` from the plane's normal, standing at `azimuthDeg` around the target (0: on
// its -y side) and turned about its axis by `rollDeg`. The picture's up is the target's far side.
CameraPose lookAtPose(double lookX, double lookY, double distance, double tiltDeg,
                      double azimuthDeg, double rollDeg);

// Projects a world point on the target plane to ideal (undistorted) pixel coordinates.
// Answers false when the point is not in front of the camera.
bool projectPoint(const CameraPose& pose, double f, int width, int height, double X, double Y,
                  double& col, double& row);
