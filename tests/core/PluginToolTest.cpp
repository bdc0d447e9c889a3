// The plug-in and the fablix tool render the same frame for the same block:
// the tool's output is what a host gets from xFilter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "MediaResult.h"
#include "Png.h"
#include "PluginTestHost.h"

namespace {

TEST(PluginAndTool, RenderTheSameFrameForTheDefaultBlock) {
    HostClip clip(16, 12);
    clip.record.time = 3;
    clip.record.total = 9;
    CallPlugin(clip, 1);  // setup loads the tables; the editor's dialog cannot open here
    ASSERT_EQ(CallPlugin(clip, 0), 0);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("fablix-plugin-tool-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    Frame source;
    ASSERT_EQ(MakeFrame(source, 16, 12), kMediaOk);
    for (int32_t row = 0; row < 12; ++row) std::memcpy(FramePixel(source, 0, row), clip.source.At(0, row), 16 * 4);
    std::string message;
    const std::string input = (folder / "in.png").string(), output = (folder / "out.png").string();
    ASSERT_EQ(WritePng(input.c_str(), source, message), kMediaOk) << message;

    const std::string command = std::string(FABLIX_TOOL_PATH) + " render --quiet --time 3 --total 9 '" + input + "' '" +
                                output + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    Frame rendered;
    ASSERT_EQ(ReadPng(output.c_str(), rendered, message), kMediaOk) << message;
    ASSERT_EQ(rendered.width, 16);
    ASSERT_EQ(rendered.height, 12);
    for (int32_t row = 0; row < 12; ++row)
        EXPECT_EQ(std::memcmp(FramePixel(rendered, 0, row), clip.destination.At(0, row), 16 * 4), 0) << row;
    std::filesystem::remove_all(folder);
}

}  // namespace
