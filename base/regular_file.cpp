#include "base/regular_file.h"

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

int openRegularFile(const std::string& path, uint64_t maxBytes, uint64_t& size, FileReadResult& result,
                    std::string& error) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    Fd file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        error = std::string("cannot be opened (") + std::strerror(errno) + ")";
        result = FileReadResult::Missing;
        return -1;
    }
    struct stat st {};
    if (fstat(file.fd, &st) != 0) {
        error = std::string("cannot be examined (") + std::strerror(errno) + ")";
        result = FileReadResult::ReadFailed;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        error = kindOf(st.st_mode);
        result = FileReadResult::NotAFile;
        return -1;
    }
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = "is larger than the " + std::to_string(maxBytes) + " bytes such a file can have";
        result = FileReadResult::TooLarge;
        return -1;
    }
    // Reads of a regular file do not block; the flag is dropped for plain reading.
    fcntl(file.fd, F_SETFL, fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    size = static_cast<uint64_t>(st.st_size);
    result = FileReadResult::Ok;
    const int fd = file.fd;
    file.fd = -1;
    return fd;
}

FileReadResult readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                               std::string& error) {
    bytes.clear();
    uint64_t fileSize = 0;
    FileReadResult opened;
    const Fd file{openRegularFile(path, maxBytes, fileSize, opened, error)};
    if (file.fd < 0) return opened;
    bytes.resize(static_cast<size_t>(fileSize));
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
