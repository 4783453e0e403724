// The camera a tracker measures with: focal lengths, principal point and lens distortion (the
// Brown-Conrady model, as OpenCV writes it) for frames of one size.
//
// Coordinates as docs/conventions.md gives them: pixel-centre coordinates with rows counted up
// from the bottom of the picture, so (cx, cy) is where the optical axis meets the picture and
// the ideal camera has it at ((w - 1) / 2, (h - 1) / 2); p1 is OpenCV's with its sign changed
// (our y runs up). fromOpenCV and toOpenCV convert. Frames of another size from the same optics
// are measured with the camera scaled to them.
#pragma once

#include <string>

#include "tovrak/export.h"
#include "tovrak/image.h"

namespace tovrak {

struct TOVRAK_API Camera {
    int width = 0, height = 0;  // the frame size the numbers are for
    double fx = 0, fy = 0;      // pixels
    double cx = 0, cy = 0;      // pixel-centre coordinates, rows bottom-up
    double k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0;

    // The ideal camera of a width x height picture: focal length f pixels, no distortion.
    static Camera ideal(double f, int width, int height);
    // A camera file in OpenCV's calibration layout ("camera.yaml", as tovrak --calibrate-from
    // and OpenCV's tools write it).
    static Result<Camera> fromFile(const std::string& path);
    // OpenCV's camera matrix K (row-major, rows from the top) and distortion (k1 k2 p1 p2 [k3]).
    static Camera fromOpenCV(const double K[9], const double* distortion, int count, int width, int height);
    void toOpenCV(double K[9], double distortion[5]) const;
    // Writes the camera file (replacing `path`); false with the reason in `error`.
    bool save(const std::string& path, std::string* error = nullptr) const;
    // Why these numbers cannot describe a camera, or empty when they can.
    std::string check() const;
};

}  // namespace tovrak
