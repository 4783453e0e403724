#include "imageio/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "is a directory, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO, not a file";
    if (S_ISSOCK(mode)) return "is a socket, not a file";
    return "is a device, not a file";
}

struct Fd {
    int fd;
    ~Fd() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

FileReadResult readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                               std::string& error) {
    bytes.clear();
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const Fd file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        error = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return FileReadResult::Missing;
    }
    struct stat st {};
    if (fstat(file.fd, &st) != 0) {
        error = std::string("cannot be examined (") + std::strerror(errno) + ")";
        return FileReadResult::ReadFailed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = kindOf(st.st_mode);
        return FileReadResult::NotAFile;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = "is larger than the " + std::to_string(maxBytes) + " bytes such a file can have";
        return FileReadResult::TooLarge;
    }
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(file.fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::string("cannot be read (") + std::strerror(errno) + ")";
            bytes.clear();
            return FileReadResult::ReadFailed;
        }
        if (n == 0) break;  // shrunk while being read: what is there is the file
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    return FileReadResult::Ok;
}
