#include "tovrak/virtual_camera.h"

#include <vector>

#include "api/convert.h"
#include "api/frame_input.h"
#include "capture/virtual_camera.h"

namespace tovrak {

struct VirtualCamera::Impl {
    ::VirtualCamera camera;
    std::vector<unsigned char> frame;
    explicit Impl(const VirtualCameraOptions& o) : camera(o), frame(camera.frameBytes()) {}
};

VirtualCamera::VirtualCamera() : impl_(new Impl(VirtualCameraOptions{})) {}
VirtualCamera::~VirtualCamera() = default;
VirtualCamera::VirtualCamera(VirtualCamera&&) noexcept = default;
VirtualCamera& VirtualCamera::operator=(VirtualCamera&&) noexcept = default;

Result<VirtualCamera> VirtualCamera::create(const std::string& options) {
    VirtualCameraOptions o;
    std::string error;
    if (!options.empty() && !parseVirtualCameraOptions(options, o, error)) return Result<VirtualCamera>::failure(error);
    VirtualCamera camera;
    camera.impl_.reset(new Impl(o));
    return camera;
}

Image VirtualCamera::frame(int n) {
    impl_->camera.render(n, impl_->frame.data());
    const VirtualCameraOptions& o = impl_->camera.options();
    return imageFromSteps(impl_->frame.data(), o.width, o.height);
}

TargetPose VirtualCamera::truth(int n) const {
    const VirtualFrameTruth t = impl_->camera.truthOf(n);
    const int height = impl_->camera.options().height;
    TargetPose pose;
    pose.found = t.wholeTargetVisible;
    for (int i = 0; i < 9; ++i) pose.rotation[i] = pose.measuredRotation[i] = t.pose.R[i];
    for (int i = 0; i < 3; ++i) pose.translation[i] = pose.measuredTranslation[i] = t.pose.T[i];
    // The ten target points skip the two rectangles' centres (4 and 9); (row, col), rows from the
    // bottom: the corners in a frame's own rows, top row first.
    const int corner[8] = {0, 1, 2, 3, 5, 6, 7, 8};
    for (int i = 0; i < 8; ++i) {
        pose.corners[i][0] = t.imagePoints[corner[i]][1];
        pose.corners[i][1] = (height - 1) - t.imagePoints[corner[i]][0];
    }
    pose.state = TrackingState::Tracking;
    return pose;
}

Camera VirtualCamera::camera() const { return fromIntrinsics(impl_->camera.intrinsics()); }

}  // namespace tovrak
