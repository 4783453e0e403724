// Counts the frames of a video file as the program would play them, without waiting for each
// frame's time. Usage: count_frames FILE; prints the count, exits 1 when the file cannot be played.
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "capture/media_file.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: count_frames FILE\n");
        return 2;
    }
    std::string error;
    CaptureDevice* dev = captureCreateWith(createMediaFileBackend(argv[1], false, error, false));
    if (!dev) {
        std::fprintf(stderr, "Error: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    captureSelectDevice(dev, 0);
    captureSetRunning(dev, 1);
    int w = 0, h = 0;
    captureGetSize(dev, &w, &h);
    std::vector<unsigned char> frame(static_cast<size_t>(w) * h * 3);
    int frames = 0;
    while (captureGrabFrame(dev, frame.data(), frame.size(), -1)) ++frames;
    captureDestroy(dev);
    std::printf("%d\n", frames);
    return 0;
}
