#include "tracking/calibration_views.h"

#include "vision/tracker.h"

bool findTargetCorners(Tracker& t, TargetFinder& finder, TargetCorners& corners, TargetEdges* edges) {
    // The edges at the Sobel step's threshold, then lower, then the picture itself.
    for (int threshold : {kSobelThreshold, kSobelThreshold / 2, kSobelThreshold / 4}) {
        t.smoothGreySobel(threshold);
        t.labelContours();
        const bool found = finder.find(t, corners);
        t.drawContours();
        if (found && refineTargetCorners(t, nullptr, corners, nullptr, edges)) return true;
    }
    return finder.findInPicture(t, corners) && refineTargetCorners(t, nullptr, corners, nullptr, edges);
}

bool takeView(Tracker& t, TargetFinder& finder, std::vector<CalibrationView>& views) {
    TargetCorners corners;
    CalibrationView view;
    if (!findTargetCorners(t, finder, corners, &view.edges)) return false;
    for (int i = 0; i < 8; ++i) view.xy[i][0] = corners.xy[i][0], view.xy[i][1] = corners.xy[i][1];
    if (!differentView(views, view, kNewViewShare * t.width)) return false;
    views.push_back(view);
    return true;
}
