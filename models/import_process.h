// A model file imported where it cannot hurt the program: in a child process (the small
// `tovrak-import` program beside `tovrak`) under limits of memory, time and stack, its result
// passed back as bytes (models/imported_model.h) over a pipe and checked as it is decoded. A file
// that makes the importer run away, crash or exhaust memory costs the child, never the program.
//
// Limits for a model that may read S bytes: its file and every file in its folder and below, the
// only files it may name (models/model_folder.h; importLimitsFor(modelReadableBytes(file))):
//   memory   256 MB + 1280 MB for the texture pictures' pixel budget decoded: four bytes a pixel
//            kept, and sixteen while an HDR picture is read (its floats, four channels)
//            + 24 S of address space, at most 3 GB: assimp maps up to twenty times an OBJ's size
//            while it reads one
//   time     6 s + 0.25 s a megabyte (a million triangles read in about 7 s; a budget of texture
//            pixels decoded in up to 4 s) of the child's CPU
//            time, so that a busy machine refuses nothing; twice that and 2 s more on the
//            wall clock as a backstop for a child that waits instead of working; killed at either
//   stack    256 MB: some importers recurse once a level of a file's node tree
//   result   at most 1 GB of bytes read back
// The wait can be cancelled (Ctrl-C): `cancelled` is asked ten times a second.
#pragma once

#include <string>

#include "models/imported_model.h"

struct ImportLimits {
    long long memoryBytes = 0;
    double seconds = 0;
    long long stackBytes = 0;
};
ImportLimits importLimitsFor(long long readableBytes);
// What the model may read: its folder and below, and `assets` and below (--assets) when given.
long long modelReadableBytes(const std::string& file, const std::string& assets = "");

// The path of the child program: TOVRAK_IMPORTER when set, else `tovrak-import` beside the
// running program, else where the build put it.
std::string importerProgram();

// False with the reason in `why` (in words that follow the file's name). The child's warnings
// come back in `out.warnings`.
// `assets`: a folder the model may also read from (--assets), or empty.
bool importInChild(const std::string& file, ImportedModel& out, std::string& why, bool (*cancelled)() = nullptr,
                   const std::string& assets = "");

// The child's side: imports `file` and writes the result to `fd`; the process's exit status.
int runImportChild(const std::string& file, int fd, const std::string& assets = "");
