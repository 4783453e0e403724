// The Tovrak library: the workbench's target tracker, its calibration and its image steps for
// your own code. docs/api.md describes it.
#pragma once

#include "tovrak/calibrator.h"
#include "tovrak/camera.h"
#include "tovrak/image.h"
#include "tovrak/steps.h"
#include "tovrak/tracker.h"
#include "tovrak/version.h"
#include "tovrak/virtual_camera.h"

namespace tovrak {
// The library's version as it was built ("1.2.3"), which may differ from the header's.
TOVRAK_API const char* version();
}  // namespace tovrak
