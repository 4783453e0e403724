#include "capture/capture_backend.h"
#include "capture/v4l2_backend.h"

std::unique_ptr<CaptureBackend> createCameraBackend(int requestedWidth, int requestedHeight) {
    return createV4l2Backend(createSystemV4l2Io(), requestedWidth, requestedHeight);
}
