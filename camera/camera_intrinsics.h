// The camera's own numbers: focal lengths, principal point and lens distortion (the
// Brown-Conrady model, as OpenCV writes it), for one frame size.
//
// Coordinates (docs/conventions.md, "Pixel coordinates" and "The camera"): pixel-centre
// coordinates with rows bottom-up, so (cx, cy) is where the optical axis meets the picture and
// the ideal camera has it at the picture's geometric centre ((w - 1) / 2, (h - 1) / 2). A camera
// point (X, Y, Z) (y up, z forward) is seen at the normalised point (x, y) = (X / Z, Y / Z),
// distorted to
//     r^2 = x^2 + y^2,  radial = 1 + k1 r^2 + k2 r^4 + k3 r^6,
//     xd = x radial + 2 p1 x y + p2 (r^2 + 2 x^2),  yd = y radial + p1 (r^2 + 2 y^2) + 2 p2 x y,
// and lands at pixel (u, v) = (cx + fx xd, cy + fy yd). Because our y runs up the picture and
// OpenCV's down, p1 here is OpenCV's with its sign changed (camera/camera_file.h converts).
#pragma once

#include <string>

struct CameraIntrinsics {
    int width = 0, height = 0;  // the frame size the numbers are for
    double fx = 0, fy = 0;      // pixels
    double cx = 0, cy = 0;      // pixel-centre coordinates, rows bottom-up
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;

    bool distorted() const { return k1 != 0 || k2 != 0 || p1 != 0 || p2 != 0 || k3 != 0; }
};

// The ideal camera of a width x height frame: focal length f (pixels of that frame), the optical
// axis through the picture's geometric centre, no distortion.
CameraIntrinsics idealCamera(double f, int width, int height);

// The same camera for frames of another size from the same optics: everything scales with the
// width (pixel centres: c' = (c + 0.5) s - 0.5), and a frame of another shape is the middle band
// of the scaled picture.
CameraIntrinsics scaledCamera(const CameraIntrinsics& camera, int width, int height);

// Normalised point to distorted normalised point.
void distortNormalised(const CameraIntrinsics& camera, double x, double y, double& xd, double& yd);
// Pixel to the normalised point whose distorted image it is (the inverse of distortion, by
// fixed-point iteration from the distorted point; converges for the distortion of webcams).
void undistortPixel(const CameraIntrinsics& camera, double u, double v, double& x, double& y);
// Camera point to pixel; false behind the camera.
bool projectToPixel(const CameraIntrinsics& camera, double X, double Y, double Z, double& u, double& v);
// A point (X, Y) of the target's plane seen from pose (R, T) (camera/matrix.h), in the undistorted
// picture: (cx + fx Xc / Zc, cy + fy Yc / Zc). False behind the camera.
bool projectToIdealPixel(const CameraIntrinsics& camera, const double R[9], const double T[3], double X, double Y,
                         double& u, double& v);

// Why these numbers cannot be a camera of their own picture, or empty when they can: a focal
// length outside 0.1 to 20 times the width, the principal point outside the picture, or a lens
// whose distorted radius does not grow with the radius all the way to the picture's corners
// (past that point the model folds the picture back on itself) or takes the corners more than
// three times nearer or further.
std::string cameraProblem(const CameraIntrinsics& camera);
// Whether it is the ideal camera of its picture (square pixels, the axis in the middle, no
// distortion): such a camera serves frames of any shape.
bool isIdealCamera(const CameraIntrinsics& camera);
// Why the camera cannot serve frames of width x height (same optics, scaled by the width), or
// empty: the frames are the middle band of its picture or the whole of it, so they may be wider
// in proportion but not taller (an ideal camera serves any).
std::string frameProblem(const CameraIntrinsics& camera, int width, int height);
