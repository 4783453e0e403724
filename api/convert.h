// The library's value types to the program's own and back.
#pragma once

#include "camera/camera_intrinsics.h"
#include "tovrak/camera.h"

namespace tovrak {

inline CameraIntrinsics toIntrinsics(const Camera& c) {
    CameraIntrinsics i;
    i.width = c.width, i.height = c.height, i.fx = c.fx, i.fy = c.fy, i.cx = c.cx, i.cy = c.cy;
    i.k1 = c.k1, i.k2 = c.k2, i.p1 = c.p1, i.p2 = c.p2, i.k3 = c.k3;
    return i;
}

inline Camera fromIntrinsics(const CameraIntrinsics& i) {
    Camera c;
    c.width = i.width, c.height = i.height, c.fx = i.fx, c.fy = i.fy, c.cx = i.cx, c.cy = i.cy;
    c.k1 = i.k1, c.k2 = i.k2, c.p1 = i.p1, c.p2 = i.p2, c.k3 = i.k3;
    return c;
}

}  // namespace tovrak
