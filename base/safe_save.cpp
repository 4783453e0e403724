#include "base/safe_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

bool saveFileSafely(const std::string& path, const std::string& text, std::string& error) {
    struct stat old {};
    const bool exists = stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) {
        error = "is not a regular file";
        return false;
    }
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".saving-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // The saved file keeps the old one's permissions, or gets a new file's.
    fchmod(fd, exists ? (old.st_mode & 07777) : 0644);
    size_t written = 0;
    int failure = 0;
    while (written < text.size()) {
        const ssize_t n = write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        written += static_cast<size_t>(n);
    }
    if (!failure && fsync(fd) != 0) failure = errno;
    if (close(fd) != 0 && !failure) failure = errno;
    if (!failure && std::rename(name.data(), path.c_str()) != 0) failure = errno;
    if (failure) {
        std::remove(name.data());
        error = std::strerror(failure);
        return false;
    }
    return true;
}
