#include "capture/capture_backend.h"

// Webcam capture is not wired in yet on this platform: the backend finds no device, so the
// program reports "No Capture Device!" exactly as it does on a machine without a camera.
std::unique_ptr<CaptureBackend> createCameraBackend() { return nullptr; }
