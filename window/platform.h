// The platform model: the entity "Plataforma" read from "./p40/p40_2.3ds" (the working folder
// first, then beside the executable, as for the other data files), with its textures from the
// same folder, and drawn under a fixed dim light at 0.07 of its file size, turned so that its
// +y (up) stands along the current frame's +z.
#pragma once

class Group;

constexpr char kPlatformFile[] = "p40/p40_2.3ds";

// Loads it (once more on every call); null, after the loader's error line, when it cannot be read.
Group* loadPlatform();
// Draws the loaded platform with the current matrices as its parent transform; nothing before a
// successful load. Lighting and the modelview matrix are left as they were.
void drawPlatform();
Group* platformModel();
