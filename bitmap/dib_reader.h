// Reads a Windows bitmap (.bmp) file into packed 8-bit RGB pixels (imageio/dib_file.h says
// which bitmaps and how).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "imageio/dib_file.h"

// The largest bitmap file read: 4096 x 4096 pixels of 32 bits, with headers and palette.
constexpr size_t kMaxDibFileBytes = (64u << 20) + 4096;

// Reads a bitmap file; on failure reports one line "Error: ..." naming the file, the reason and
// then `consequence` (what the caller does without it, or empty), and answers null.
std::unique_ptr<DibImage> loadDibImage(const std::string& fileName, const std::string& consequence = "");
