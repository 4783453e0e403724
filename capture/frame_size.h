// A frame size as a person types it.
#pragma once

#include <string>

// Reads "WIDTHxHEIGHT" with both sides from 16 to 8192.
bool parseFrameSize(const std::string& text, int& width, int& height);
