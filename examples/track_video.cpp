// Poses of the printed target in a video: `track_video FILE.y4m [camera.yaml]` (a Y4M file, as
// `ffmpeg -i video.mp4 -pix_fmt gray out.y4m` makes one) or `track_video synthetic[:OPTIONS] [N]`
// (the virtual camera). One line a frame: number, found, then the pose in OpenCV's axes as a
// rotation vector and a translation in millimetres.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tovrak/tovrak.h"

int main(int argc, char** argv) {
    const std::string source = argc > 1 ? argv[1] : "synthetic";
    const bool virtualCamera = source.rfind("synthetic", 0) == 0;
    tovrak::Result<tovrak::VirtualCamera> film = tovrak::VirtualCamera::create(virtualCamera && source.size() > 10 ? source.substr(10) : "");
    if (!film) return std::fprintf(stderr, "Error: %s\n", film.error().c_str()), 1;
    std::ifstream y4m(virtualCamera ? "" : source, std::ios::binary);
    std::string header;
    int w = 0, h = 0;
    if (!virtualCamera && !(std::getline(y4m, header) && std::sscanf(header.c_str(), "YUV4MPEG2 W%d H%d", &w, &h) == 2)) {
        std::fprintf(stderr, "Error: %s is not a Y4M video\n", source.c_str());
        return 1;
    }
    tovrak::Camera camera = virtualCamera ? film->camera() : tovrak::Camera::ideal(w * 1.03, w, h);
    if (argc > 2 && !virtualCamera) {
        const tovrak::Result<tovrak::Camera> file = tovrak::Camera::fromFile(argv[2]);
        if (!file) return std::fprintf(stderr, "Error: %s\n", file.error().c_str()), 1;
        camera = file.value();
    }
    tovrak::Tracker tracker(camera);
    const bool mono = header.find("Cmono") != std::string::npos;
    std::vector<std::uint8_t> luma(static_cast<size_t>(w) * h), chroma(mono ? 0 : static_cast<size_t>(w) * h / 2);
    const int frames = virtualCamera && argc > 2 ? std::stoi(argv[2]) : virtualCamera ? 300 : 1 << 30;
    for (int n = 0; n < frames; ++n) {
        tovrak::Image image;
        tovrak::ImageView frame;
        if (virtualCamera) image = film.value().frame(n), frame = image.view();
        else if (std::getline(y4m, header) && y4m.read(reinterpret_cast<char*>(luma.data()), luma.size()) &&
                 y4m.read(reinterpret_cast<char*>(chroma.data()), chroma.size()))
            frame = {luma.data(), w, h, 0, tovrak::PixelFormat::Grey};
        else break;
        const tovrak::Result<tovrak::TargetPose> pose = tracker.track(frame);
        if (!pose) return std::fprintf(stderr, "Error: %s\n", pose.error().c_str()), 1;
        double r[3], t[3];
        pose->toOpenCV(r, t);
        std::printf("%d,%d,%.7f,%.7f,%.7f,%.5f,%.5f,%.5f\n", n, pose->found, r[0], r[1], r[2], t[0], t[1], t[2]);
    }
}
