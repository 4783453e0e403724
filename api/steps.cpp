#include "tovrak/steps.h"

#include <vector>

#include "api/frame_input.h"
#include "vision/tracker.h"

namespace tovrak {

namespace {

// Runs `steps` on the frame with a Tracker of its own and answers what the second slot shows.
template <typename Steps>
Result<Image> run(const ImageView& frame, Steps steps) {
    if (const std::string why = checkFrame(frame); !why.empty()) return Result<Image>::failure(why);
    std::vector<unsigned char> bgr;
    frameToSteps(frame, bgr);
    ::Tracker t;
    t.setFrameSize(frame.height, frame.width);
    t.input = bgr.data();
    t.markOutputAbsent();
    steps(t);
    return imageFromSteps(t.output ? t.output : bgr.data(), frame.width, frame.height);
}

}  // namespace

Result<Image> smooth(const ImageView& frame) {
    return run(frame, [](::Tracker& t) { t.smoothImage(); });
}

Result<Image> grey(const ImageView& frame) {
    return run(frame, [](::Tracker& t) {
        t.smoothImage();
        t.convertToGrey();
    });
}

Result<Image> sobelEdges(const ImageView& frame, int threshold) {
    return run(frame, [threshold](::Tracker& t) { t.smoothGreySobel(threshold); });
}

Result<Image> thinEdges(const ImageView& frame, int threshold) {
    return run(frame, [threshold](::Tracker& t) {
        t.smoothImage();
        t.convertToGrey();
        t.thinEdges(threshold, 0);
    });
}

Result<Image> contours(const ImageView& frame) {
    return run(frame, [](::Tracker& t) {
        t.smoothGreySobel(kSobelThreshold);
        t.labelContours();
        t.identifyTarget();
        t.drawContours();
    });
}

Result<Image> corners(const ImageView& frame, int threshold) {
    return run(frame, [threshold](::Tracker& t) {
        t.ensureGreyOutput();
        t.detectCorners(threshold, 9);
    });
}

Result<Image> regions(const ImageView& frame) {
    return run(frame, [](::Tracker& t) {
        t.smoothGreySobel(kSobelThreshold);
        t.labelRegions();
        t.markExtremes();
    });
}

Result<Image> hough(const ImageView& frame, int rhoBins) {
    return run(frame, [rhoBins](::Tracker& t) {
        t.smoothGreySobel(kSobelThreshold);
        t.houghLines(rhoBins, 0);
    });
}

}  // namespace tovrak
