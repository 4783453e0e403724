// The virtual camera as a capture device.
#pragma once

#include <memory>

#include "capture/capture_backend.h"
#include "capture/virtual_camera.h"

std::unique_ptr<CaptureBackend> createVirtualBackend(const VirtualCameraOptions& options);

// The camera behind a backend made by createVirtualBackend (null for any other backend), so
// that tests and measurements can ask for the truth of the frames it delivered.
const VirtualCamera* virtualCameraOf(CaptureBackend* backend);
