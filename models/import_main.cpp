// tovrak-import --result-fd FD [--assets DIR] MODEL_FILE: the child program that imports a model for tovrak
// (models/import_process.h). Started by tovrak under limits; not meant to be run by hand.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "models/import_process.h"

int main(int argc, char** argv) {
    const bool assets = argc == 6 && std::strcmp(argv[3], "--assets") == 0;
    if ((argc != 4 && !assets) || std::strcmp(argv[1], "--result-fd") != 0) {
        std::fprintf(stderr, "Error: tovrak-import is started by tovrak to read a model file; it is not run by hand\n");
        return 2;
    }
    // Nothing is left to tidy once the result is written: ending at once skips the exit handlers
    // (and, in sanitizer builds, a leak report on the importer's memory that would end the
    // process with a failure after a sound result).
    std::_Exit(runImportChild(argv[argc - 1], std::atoi(argv[2]), assets ? argv[4] : ""));
}
