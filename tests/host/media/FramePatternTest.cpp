// Numbered frame names: what a pattern means, the names it gives at any
// width, and reading a name back.
#include <gtest/gtest.h>

#include "FramePattern.h"

namespace {

struct NameCase {
    const char* pattern;
    int64_t index;
    std::string name;
};

TEST(FramePattern, NumbersFramesAtAnyWidthThatFitsAName) {
    const NameCase cases[] = {
        {"f%d.png", 7, "f7.png"},
        {"f%04d.png", 7, "f0007.png"},
        {"f%4d.png", 12345, "f12345.png"},  // a width without 0 pads with zeros too
        {"out/f%03d.png", 2, "out/f002.png"},
        {"100%%-%02d.png", 3, "100%-03.png"},
        {"b%020d.png", 10, "b00000000000000000010.png"},
        {"b%020d.png", 11, "b00000000000000000011.png"},
        {"c%0200d.png", 8, "c" + std::string(199, '0') + "8.png"},
    };
    for (const NameCase& c : cases) {
        FramePattern pattern;
        std::string problem;
        ASSERT_TRUE(ParseFramePattern(c.pattern, &pattern, &problem)) << c.pattern << ": " << problem;
        EXPECT_EQ(FrameFileName(pattern, c.index), c.name) << c.pattern;
        const std::string file = c.name.substr(c.name.find_last_of('/') + 1);
        EXPECT_EQ(FrameIndexOfName(pattern, file), c.index) << c.pattern;
    }
}

struct ProblemCase {
    const char* pattern;
    const char* problem;
};

TEST(FramePattern, RefusesNamesWhoseNumbersCannotBeWritten) {
    const ProblemCase cases[] = {
        {"f.png", "a clip needs a frame number in the name, such as frame%04d.png"},
        {"f%%.png", "a clip needs a frame number in the name, such as frame%04d.png"},
        {"f%s.png", "a frame number is written %d or %0Nd, such as frame%04d.png"},
        {"f%-3d.png", "a frame number is written %d or %0Nd, such as frame%04d.png"},
        {"f%d.png%", "a frame number is written %d or %0Nd, such as frame%04d.png"},
        {"f%d-%d.png", "a name holds one frame number (%d) only"},
        {"d%02d/f.png", "the frame number must be in the file name, not in a folder's"},
        {"e%99999999d.png", "frame numbers 99999999 digits wide make names longer than 255 bytes"},
        {"e%0256d.png", "frame numbers 256 digits wide make names longer than 255 bytes"},
        {"e%0252d.png", "its frame names would be longer than 255 bytes"},
    };
    for (const ProblemCase& c : cases) {
        FramePattern pattern;
        std::string problem;
        EXPECT_FALSE(ParseFramePattern(c.pattern, &pattern, &problem)) << c.pattern;
        EXPECT_EQ(problem, c.problem) << c.pattern;
    }
}

TEST(FramePattern, ReadsBackOnlyTheNamesItWrites) {
    FramePattern pattern;
    std::string problem;
    ASSERT_TRUE(ParseFramePattern("f%03d.png", &pattern, &problem));
    const std::pair<const char*, int64_t> cases[] = {
        {"f000.png", 0},  {"f123.png", 123}, {"f1234.png", 1234}, {"f12.png", -1}, {"f0123.png", -1},
        {"g001.png", -1}, {"f001.PNG", -1},  {"f0x1.png", -1},    {"f.png", -1},   {"f001.png.part", -1},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(FrameIndexOfName(pattern, name), index) << name;
}

}  // namespace
