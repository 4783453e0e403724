// A rolling shutter's view of a moving camera. The sensor reads its rows one after another over
// `readOut` of the frame interval, the picture's top row first; rows are bottom-up
// (docs/conventions.md), so row y of `height` is read at
//
//     tau(y) = readOut (1/2 - y / (height - 1))     frames from the middle row's time.
//
// Over a frame the camera moves a little: a camera point Pc is at Pc + tau (w x Pc + v) a time tau
// later (w the turn a frame, radians, and v the travel a frame, millimetres, both in the camera's
// coordinates: the first-order terms of Pc' = exp([w]x) Pc + v). A point of the target's plane
// seen at pixel p was therefore where p - shift(p) shows it at the middle row's time, shift being
// the image motion of the plane point under p over tau(p's row).
#pragma once

#include "camera/camera_intrinsics.h"

// When row `row` (of `height`, rows bottom-up) is read, in frame intervals from the middle row's
// time: -readOut/2 for the picture's top row (the last), which a sensor reads first, to
// +readOut/2 for its bottom row (docs/conventions.md, "Frames").
double rowReadTime(double readOut, int height, double row);

struct RowMotion {
    double readOut = 0.0;  // share of the frame interval, 0 to 1
    int height = 0;        // rows of the picture
    double w[3] = {0, 0, 0}, v[3] = {0, 0, 0};
    double R[9], T[3];     // the pose (world to camera) the shift is worked out with
};

// The camera's motion from pose (Rb, Tb) to pose (Ra, Ta) one frame later: Pc_a = dR Pc_b + v
// with dR = Ra Rb', whose rotation vector is w.
void motionBetween(const double Ra[9], const double Ta[3], const double Rb[9], const double Tb[3], double w[3],
                   double v[3]);

// Moves pixel (x, y) of the undistorted picture (pixel-centre coordinates of `camera`) to where
// the middle row's time shows its point of the target's plane. False when the pixel's ray
// misses the plane in front of the camera.
bool toMiddleRowTime(const RowMotion& motion, const CameraIntrinsics& camera, double& x, double& y);
