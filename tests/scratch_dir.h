// A scratch folder of this test process's own, made on first use and removed when the process
// ends. Test cases run as processes side by side, and files under one shared folder would be
// read half-written by a neighbour.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

inline const std::string& scratchDir() {
    static const std::string dir = [] {
        std::string pattern = testing::TempDir() + "tovrak-test-XXXXXX";
        if (!mkdtemp(pattern.data())) return testing::TempDir();
        static const struct Remover {
            std::string path;
            ~Remover() {
                std::error_code ignored;
                std::filesystem::remove_all(path, ignored);
            }
        } remover{pattern};
        return pattern + "/";
    }();
    return dir;
}
