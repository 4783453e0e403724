// Checks of what a model file's header claims against the file's size, made before the importer
// reads it: a 200-byte PLY or OFF that claims fifty million faces would otherwise have the
// importer size its tables by the claim. A count is refused when even the smallest encoding of
// that many items (one byte a number and a separator in text, the declared sizes in binary) would
// need more bytes than the file has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// False with the reason in `why` when `head` (the file's first bytes) claims more than a file of
// `fileBytes` can hold. Formats without counts in their header pass.
bool headerFitsFile(const uint8_t* head, size_t headBytes, long long fileBytes, std::string& why);
