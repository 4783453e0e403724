// The views of the printed target a calibration is fitted to (camera/view_calibration.h), taken
// from frames: the target found at the Sobel step's threshold, lower ones, or in the picture
// itself, its corners refined with the places along its sides.
#pragma once

#include <vector>

#include "camera/corner_refinement.h"
#include "camera/view_calibration.h"
#include "vision/target_finder.h"

class Tracker;

// A view is new when some corner moved at least this share of the frame's width from where it
// was in every view taken.
constexpr double kNewViewShare = 0.08;

// The target's corners in this frame (the Tracker's `input`), found and refined (and the places
// along its sides, when `edges` is given), or false.
bool findTargetCorners(Tracker& tracker, TargetFinder& finder, TargetCorners& corners, TargetEdges* edges = nullptr);

// Takes the frame's view when the target is found and the view differs from those taken.
// Answers whether it was taken.
bool takeView(Tracker& tracker, TargetFinder& finder, std::vector<CalibrationView>& views);
