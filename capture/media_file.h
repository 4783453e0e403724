// Recorded input and recording, through FFmpeg's libraries: a video file or an image sequence
// (e.g. frame%04d.png) played as a capture device at its own frame rate, and a writer that
// records the frames the program sees.
#pragma once

#include <memory>
#include <string>

#include "capture/capture_backend.h"

// A capture device over a video file; null with `error` when it cannot be played. At the end
// the device stops (endOfStream), or starts again from the beginning when `loop` is set.
// `paced` false delivers frames as fast as they are asked for (tests and measurements).
std::unique_ptr<CaptureBackend> createMediaFileBackend(const std::string& path, bool loop, std::string& error,
                                                      bool paced = true);

// Writes 24-bit BGR bottom-up frames to a video file; the container and codec follow the file
// name's extension (.mkv, .mp4, .avi, ...).
class VideoRecorder {
public:
    VideoRecorder();
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    bool open(const std::string& path, int width, int height, int fps, std::string& error);
    // False with a reason when the frame could not be written (a full disk, a frame of another
    // size). Once a second the file is brought up to date on the disk, so that a recording
    // whose program is killed loses at most the last second.
    bool write(const unsigned char* bottomUpBgr, int width, int height, std::string& error);
    // Finishes the file; false with a reason when its end could not be written. Safe to call
    // more than once.
    bool close(std::string& error);
    void close();

private:
    struct State;
    std::unique_ptr<State> state;
};
