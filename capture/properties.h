// The open device's picture and camera controls by name, as a percentage of the range the
// device reports, and their automatic modes.
#pragma once

#include "capture/capture.h"

constexpr int kPropertyBuckets = 101;
constexpr int kFirstCameraControl = 20;
constexpr int kFirstVideoControl = 40;
constexpr int kFlipHorizontal = 41;
constexpr int kFlipVertical = 42;

// The property code of a name ("VideoBrightness" 0 ... "FlipVertical" 42), or -1. Exact,
// case-sensitive names only.
int propertyCode(const char* name);
// The name of a code, or null.
const char* propertyName(int code);
// Every property code, in table order.
const int* propertyCodes(int* count);
// The bucket of a name in the 101-bucket table.
int propertyBucket(const char* name);

int captureSetProperty(CaptureDevice* dev, const char* name, double value);
int captureGetProperty(CaptureDevice* dev, const char* name, double* value);
int captureSetPropertyAuto(CaptureDevice* dev, const char* name, int on);
