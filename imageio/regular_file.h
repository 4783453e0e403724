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

// Reads all of `path` into `bytes`. On anything but Ok, `error` is a short reason without the
// file name ("is a directory, not a file", "is larger than 65536 bytes", ...).
FileReadResult readRegularFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>& bytes,
                               std::string& error);
