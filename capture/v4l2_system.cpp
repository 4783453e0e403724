// The real system calls behind the V4L2 backend, through libv4l2.
#include <fcntl.h>
#include <libv4l2.h>
#include <poll.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>

#include "capture/v4l2_backend.h"

namespace {

class SystemV4l2Io final : public V4l2Io {
public:
    std::vector<std::string> deviceNodes() override {
        std::vector<int> numbers;
        if (DIR* dir = opendir("/dev")) {
            while (const dirent* e = readdir(dir)) {
                const std::string n = e->d_name;
                if (n.size() > 5 && n.compare(0, 5, "video") == 0 &&
                    std::all_of(n.begin() + 5, n.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    numbers.push_back(std::atoi(n.c_str() + 5));
            }
            closedir(dir);
        }
        std::sort(numbers.begin(), numbers.end());
        std::vector<std::string> nodes;
        for (int n : numbers) nodes.push_back("/dev/video" + std::to_string(n));
        return nodes;
    }
    int open(const std::string& path) override { return v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK); }
    void close(int fd) override { v4l2_close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override {
        int r;
        do r = v4l2_ioctl(fd, request, arg);
        while (r < 0 && errno == EINTR);
        return r;
    }
    void* map(size_t length, int fd, int64_t offset) override {
        void* p = v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        return p == MAP_FAILED ? nullptr : p;
    }
    void unmap(void* address, size_t length) override { v4l2_munmap(address, length); }
    int waitReadable(int fd, int timeoutMs) override {
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
        if (r > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLIN)) {
            errno = ENODEV;
            return -1;
        }
        return r;
    }
};

}  // namespace

std::unique_ptr<V4l2Io> createSystemV4l2Io() { return std::make_unique<SystemV4l2Io>(); }
