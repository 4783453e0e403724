// The virtual camera: a printed target on a desk filmed along a hand-held path, with the true
// pose of every frame. Options as `tovrak --source synthetic:OPTIONS` takes them ("noise=2",
// "size=640x480,motion=3", ...; README, "The virtual camera").
#pragma once

#include <memory>
#include <string>

#include "tovrak/camera.h"
#include "tovrak/export.h"
#include "tovrak/image.h"
#include "tovrak/tracker.h"

namespace tovrak {

class TOVRAK_API VirtualCamera {
public:
    VirtualCamera();  // the default options
    ~VirtualCamera();
    VirtualCamera(VirtualCamera&&) noexcept;
    VirtualCamera& operator=(VirtualCamera&&) noexcept;
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    static Result<VirtualCamera> create(const std::string& options);
    // Frame n of the path (B G R, top row first).
    Image frame(int n);
    // Its true pose (`found` false when the whole target is not in view), and the true corners.
    TargetPose truth(int n) const;
    // The camera the frames are filmed with.
    Camera camera() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovrak
