// Shared by the media suites: a scratch folder per test and pixel helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "Frame.h"

// A fresh folder named after the running test, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("fablix-media-") + std::to_string(long(getpid())) + "-" +
                           test->test_suite_name() + "-" + test->name();
        std::replace(name.begin(), name.end(), '/', '_');
        path_ = std::filesystem::temp_directory_path() / name;
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

    // Every name in the folder, hidden ones included, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    void WriteFile(const std::string& name, const std::string& contents) const {
        std::ofstream(path_ / name, std::ios::binary) << contents;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

using Bgra = std::array<int, 4>;

inline Bgra PixelAt(const Frame& frame, int32_t x, int32_t y) {
    const uint8_t* p = FramePixel(frame, x, y);
    return Bgra{p[0], p[1], p[2], p[3]};
}

inline void SetPixelAt(Frame& frame, int32_t x, int32_t y, Bgra value) {
    uint8_t* p = FramePixel(frame, x, y);
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(value[size_t(i)]);
}

// A frame whose four channels each vary with x, y and the frame index
// differently, alpha included, so any swap of channels, rows or frames, or a
// lossy step, shows in a comparison.
inline Frame NumberedFrame(int32_t width, int32_t height, int32_t index) {
    Frame frame;
    MakeFrame(frame, width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            SetPixelAt(frame, x, y,
                       Bgra{(x * 7 + index * 40) & 255, (y * 11 + index * 3) & 255, (x + y * 5 + 17) & 255,
                            (255 - x * 3 - y - index * 9) & 255});
    return frame;
}
