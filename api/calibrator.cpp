#include "tovrak/calibrator.h"

#include <vector>

#include "api/convert.h"
#include "api/frame_input.h"
#include "camera/view_calibration.h"
#include "tracking/calibration_views.h"
#include "vision/target_finder.h"
#include "vision/tracker.h"

namespace tovrak {

struct Calibrator::Impl {
    ::Tracker steps;
    TargetFinder finder;
    std::vector<unsigned char> frame;
    std::vector<CalibrationView> views;
    int width = 0, height = 0;
    mutable double rms = 0;
};

Calibrator::Calibrator() : impl_(new Impl) {}
Calibrator::~Calibrator() = default;
Calibrator::Calibrator(Calibrator&&) noexcept = default;
Calibrator& Calibrator::operator=(Calibrator&&) noexcept = default;

Result<bool> Calibrator::addFrame(const ImageView& frame) {
    Impl& m = *impl_;
    if (const std::string why = checkFrame(frame); !why.empty()) return Result<bool>::failure(why);
    if (m.width && (frame.width != m.width || frame.height != m.height))
        return Result<bool>::failure("the frame is " + std::to_string(frame.width) + " x " + std::to_string(frame.height) +
                                     " but the views taken are " + std::to_string(m.width) + " x " +
                                     std::to_string(m.height));
    m.width = frame.width, m.height = frame.height;
    frameToSteps(frame, m.frame);
    m.steps.setFrameSize(frame.height, frame.width);
    m.steps.input = m.frame.data();
    return takeView(m.steps, m.finder, m.views);
}

int Calibrator::views() const { return static_cast<int>(impl_->views.size()); }

double Calibrator::coverage() const {
    return impl_->width ? viewCoverage(impl_->views, impl_->width, impl_->height) : 0.0;
}

Result<Camera> Calibrator::calibrate() const {
    ViewCalibration fit;
    std::string why;
    if (!calibrateFromViews(impl_->views, impl_->width, impl_->height, true, fit, why))
        return Result<Camera>::failure(why);
    impl_->rms = fit.rmsPx;
    return fromIntrinsics(fit.camera);
}

double Calibrator::rmsErrorPx() const { return impl_->rms; }

}  // namespace tovrak
