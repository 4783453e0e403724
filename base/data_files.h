// Where the program finds its data files: the working folder first, then the folder of the
// executable, so that it runs from anywhere.
#pragma once

#include <string>

constexpr char kReferencePointsName[] = "pontos1.txt";
constexpr char kModelName[] = "Ogros.md2";
constexpr char kSkinName[] = "OGRO.bmp";

// The folder part of a path ("." for a bare name).
std::string folderOf(const std::string& path);

// The path to use for `name`, and in `tried` the places looked at (for messages).
std::string findDataFile(const std::string& name, std::string* tried = nullptr);
