// Saving a file so that a failed save loses nothing: the text goes to a temporary file beside
// the old one, is flushed and synced, and only then renamed over it. A full disk, a quota or a
// killed program leaves the old file whole. A path that is there and is not a regular file (a
// FIFO, a device, a folder) is refused before anything is written: nothing would block on it.
#pragma once

#include <string>

// False with the reason (a few words, without the file's name) in `error`.
bool saveFileSafely(const std::string& path, const std::string& text, std::string& error);
