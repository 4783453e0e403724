#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {
bool parse(const std::vector<const char*>& args, CommandLine& out, std::string& error) {
    std::vector<std::string> storage{"tovrak"};
    for (const char* a : args) storage.emplace_back(a);
    std::vector<char*> argv;
    for (auto& s : storage) argv.push_back(s.data());
    return parseCommandLine(static_cast<int>(argv.size()), argv.data(), out, error);
}
}  // namespace

TEST(CommandLine, ReadsEveryOptionAndPassesGlutOptionsOn) {
    CommandLine c;
    std::string e;
    ASSERT_TRUE(parse({"--source", "synthetic:size=640x480,noise=2.5,lens=1,seed=9,still", "--keys", "gsx",
                       "--frames", "25", "--screenshot", "a.png", "-display", ":3", "-sync"},
                      c, e))
        << e;
    EXPECT_EQ(c.source, SourceKind::Virtual);
    EXPECT_EQ(c.virtualCamera.width, 640);
    EXPECT_EQ(c.virtualCamera.height, 480);
    EXPECT_DOUBLE_EQ(c.virtualCamera.noise, 2.5);
    EXPECT_TRUE(c.virtualCamera.lens);
    EXPECT_TRUE(c.virtualCamera.still);
    EXPECT_EQ(c.virtualCamera.seed, 9u);
    EXPECT_EQ(c.keys, "gsx");
    EXPECT_EQ(c.frames, 25);
    EXPECT_EQ(c.screenshot, "a.png");
    EXPECT_EQ(c.glutArgs, (std::vector<std::string>{"tovrak", "-display", ":3", "-sync"}));
}

TEST(CommandLine, BadOptionsAreRefusedWithAReason) {
    const std::vector<std::vector<const char*>> bad = {
        {"--bogus"},          {"--frames"},           {"--frames", "0"},
        {"--frames", "12x"},  {"--source", ""},       {"--source", "synthetic:size=10x10"},
        {"--device", "x"},    {"--device", "-1"},     {"--size", "320"}, {"--size", "10x10"}, {"--record"},
        {"--source", "synthetic:noise=loud"}, {"--source", "synthetic:sepia=1"}, {"--readout", "1.5"}, {"--readout", "fast"},
        {"--screenshot", ""}, {"-display"},           {"extra"}, {"--pose", "exact"}};
    for (const auto& args : bad) {
        CommandLine c;
        std::string e;
        EXPECT_FALSE(parse(args, c, e)) << args[0];
        EXPECT_FALSE(e.empty());
    }
}
