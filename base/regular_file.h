// Reading a whole file that a user named, wrongly or on purpose: only a regular file is read
// (a directory, FIFO or device is refused without blocking on it), and never more than the
// caller's limit for its format, checked before a byte is read or allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class FileReadResult {
    Ok,
    Missing,     // no such file, or no permission to open it
    NotAFile,    // a directory, FIFO, socket or device
    TooLarge,    // larger than the caller's limit
    ReadFailed,  // an error while reading
};

// Opens `path` for reading when it is a regular file of at most maxBytes, without blocking on a
// FIFO put in its place: the descriptor (blocking again, close-on-exec; the caller closes it) with
// the file's size, or -1 with the result and a reason as readRegularFile gives them.
int openRegularFile(const std::string& path, uint64_t maxBytes, uint64_t& size, FileReadResult& result,
                    std::string& error);

// Reads all of `path` into `bytes`. On anything but Ok, `error` is a short reason without the
// file name ("is a directory, not a file", "is larger than 65536 bytes", ...).
FileReadResult readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                               std::string& error);
