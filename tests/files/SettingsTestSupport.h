// Helpers of the settings-file tests: blocks, files made from bytes, and
// the bytes of files.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FilterParams.h"
#include "SettingsFile.h"

namespace settings_test {

// A stdio file, closed when it goes.
struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// A block whose every byte is `fill`: no slider in 0..255 (for 0xA5), no
// formula slot terminated, so whatever a reader stores stands out.
inline FilterParams GarbageBlock(unsigned char fill = 0xA5) {
    FilterParams block;
    memset(&block, fill, sizeof block);
    return block;
}

// The block of the format's worked example.
inline FilterParams WorkedExampleBlock() {
    FilterParams block = GarbageBlock(0);
    const int32_t sliders[kSliderCount] = {21, 99, 141, 67, 54, 16, 130, 56};
    memcpy(block.sliderValue, sliders, sizeof sliders);
    strcpy(block.formula[0], "r");
    strcpy(block.formula[1], "g\t+1");
    strcpy(block.formula[2], "");
    strcpy(block.formula[3], "a");
    return block;
}

// Its file, byte for byte.
inline std::string WorkedExampleBytes() {
    using namespace std::string_literals;
    return "%RGB-1.0\r"s
           "\x02"
           "21\r"
           "\x02"
           "99\r"
           "\x03"
           "141\r"
           "\x02"
           "67\r"
           "\x02"
           "54\r"
           "\x02"
           "16\r"
           "\x03"
           "130\r"
           "\x02"
           "56\r"
           "r\r"
           "\r"
           "g\\t+1\r"
           "\r"
           "\r"
           "a\r"
           "\r"s;
}

// The eight slider lines of the worked example, and a header before them.
inline std::string HeaderAndSliders() {
    const std::string bytes = WorkedExampleBytes();
    size_t end = 0;
    for (int lines = 0; lines < 9; ++lines) end = bytes.find('\r', end) + 1;
    return bytes.substr(0, end);
}

// A temporary file holding `bytes`, positioned at its start.
inline FILE* FileWith(const std::string& bytes) {
    FILE* file = tmpfile();
    if (!file) return nullptr;
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    return file;
}

// Every byte of the file, from its start.
inline std::string Contents(FILE* file) {
    std::string bytes;
    rewind(file);
    for (int c; (c = fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
    return bytes;
}

// A line as the writer stores it.
inline std::string Line(const std::string& text) { return text + "\r"; }

inline std::string Repeat(char c, size_t count) { return std::string(count, c); }

// Text of `count` characters that shows where it was cut: "abc...zabc...".
inline std::string Pattern(size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text.push_back(static_cast<char>('a' + i % 26));
    return text;
}

inline bool SameBlock(const FilterParams& a, const FilterParams& b) { return memcmp(&a, &b, sizeof a) == 0; }

}  // namespace settings_test
