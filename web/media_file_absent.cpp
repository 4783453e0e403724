// In the page, video files play through the browser (a file dropped on the page is a camera of
// its own, web/browser_camera.h), and nothing is recorded: the frames never leave the browser.
#include "capture/media_file.h"

struct VideoRecorder::State {};

std::unique_ptr<CaptureBackend> createMediaFileBackend(const std::string&, bool, std::string& error, bool) {
    error = "in the page a video file plays when it is dropped on the page or picked with \"Video or picture\"";
    return nullptr;
}

VideoRecorder::VideoRecorder() = default;
VideoRecorder::~VideoRecorder() = default;
bool VideoRecorder::open(const std::string&, int, int, int, std::string& error) {
    error = "the page records nothing (the frames stay in the browser)";
    return false;
}
bool VideoRecorder::write(const unsigned char*, int, int, std::string& error) {
    error = "the page records nothing";
    return false;
}
bool VideoRecorder::close(std::string&) { return true; }
void VideoRecorder::close() {}
