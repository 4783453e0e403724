// Saves what the window shows as a PNG file.
#pragma once

#include <string>

// fromFront reads what is on screen; otherwise the back buffer just drawn.
bool saveWindowScreenshot(const std::string& path, bool fromFront, std::string& error);
