// The camera calibrated from views of the printed target: add frames of it seen from different
// sides and angles, then fit the focal length, the principal point and the lens distortion.
//
//     tovrak::Calibrator calibrator;
//     for (each frame) calibrator.addFrame(frame);        // views at least 8 % of the width apart
//     tovrak::Result<tovrak::Camera> camera = calibrator.calibrate();
//     if (camera) camera->save("camera.yaml");
#pragma once

#include <memory>

#include "tovrak/camera.h"
#include "tovrak/export.h"
#include "tovrak/image.h"

namespace tovrak {

class TOVRAK_API Calibrator {
public:
    Calibrator();
    ~Calibrator();
    Calibrator(Calibrator&&) noexcept;
    Calibrator& operator=(Calibrator&&) noexcept;
    Calibrator(const Calibrator&) = delete;
    Calibrator& operator=(const Calibrator&) = delete;

    // Looks for the target in the frame and keeps it as a view when it is found and differs from
    // the views kept. True when kept; an error for a frame that cannot be read or is of another
    // size than the first.
    Result<bool> addFrame(const ImageView& frame);
    int views() const;
    // How much of the picture the views' targets have covered, 0 to 1.
    double coverage() const;
    // The camera that best explains the views (at least 6, different enough), or why none does.
    Result<Camera> calibrate() const;
    // The rms error of the last fit (pixels).
    double rmsErrorPx() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovrak
