// The browser's camera (or a video, or a picture) as a capture device: the page draws each new
// picture into a canvas and hands its RGBA pixels (top row first) over; the frame loop grabs them
// as 24-bit BGR, bottom row first, like any other device (docs/conventions.md, "Frames").
// In the browser this is the platform's webcam backend (createCameraBackend).
#pragma once

#include <cstdint>
#include <vector>

#include "capture/capture_backend.h"

// The pixels the page writes into: RGBA, `width` x `height`, top row first. The buffer is kept
// while the size stays, so the page may write into it frame after frame; null when no browser
// camera is open or the size is out of range (16 to 4096 a side).
uint8_t* browserFrameBuffer(int width, int height);
// The page has written a new picture into the buffer.
void browserFrameWritten();
