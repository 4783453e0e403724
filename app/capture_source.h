// The capture device the command line asks for (--source or --calibrate-from): the webcam, the
// virtual camera or a file.
#pragma once

#include <string>

#include "app/command_line.h"

struct CaptureDevice;

// Null when there is no webcam, or (with `error` set) when the file cannot be played.
CaptureDevice* openCaptureSource(const CommandLine& options, std::string& error);
