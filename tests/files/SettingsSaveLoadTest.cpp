// Saving and loading whole files: a failed save keeps the file it would
// have replaced, a failed load keeps the caller's block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "SettingsSaveLoad.h"
#include "SettingsTestSupport.h"

using namespace settings_test;
namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const fs::path& path) {
    std::string bytes;
    FILE* file = fopen(path.string().c_str(), "rb");
    if (!file) return "<missing>";
    for (int c; (c = fgetc(file)) != EOF;) bytes.push_back(static_cast<char>(c));
    fclose(file);
    return bytes;
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    FILE* file = fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

// A folder of its own for each test, removed afterwards.
class SettingsSaveLoad : public ::testing::Test {
protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::error_code error;
        folder_ = fs::temp_directory_path(error) /
                  ("fablix-files-" + std::to_string(static_cast<long>(getpid())) + "-" + info->name());
        fs::remove_all(folder_, error);
        ASSERT_TRUE(fs::create_directories(folder_, error)) << error.message();
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(folder_, error);
    }

    std::string PathOf(const char* name) const { return (folder_ / name).string(); }

    // The names in the folder, sorted.
    std::vector<std::string> FolderNames() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder_, error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path folder_;
};

using Names = std::vector<std::string>;

const std::string kOldFile = "%RGB-1.0\rthe old file, not to be lost\r";

TEST_F(SettingsSaveLoad, SaveWritesTheFileByteForByte) {
    const FilterParams block = WorkedExampleBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(SaveSettingsFile(PathOf("new.fbl").c_str(), &block, &outcome), 0);
    EXPECT_EQ(outcome.status, kSettingsOk);
    EXPECT_EQ(ReadBytes(PathOf("new.fbl")), WorkedExampleBytes());
    EXPECT_EQ(FolderNames(), (Names{"new.fbl"}));
}

TEST_F(SettingsSaveLoad, SaveReplacesAnExistingFile) {
    WriteBytes(PathOf("old.fbl"), kOldFile + std::string(500, 'x'));
    const FilterParams block = WorkedExampleBlock();
    EXPECT_EQ(SaveSettingsFile(PathOf("old.fbl").c_str(), &block), 0);
    EXPECT_EQ(ReadBytes(PathOf("old.fbl")), WorkedExampleBytes());
    EXPECT_EQ(FolderNames(), (Names{"old.fbl"}));
}

TEST_F(SettingsSaveLoad, AFullDiskAtAnyByteKeepsTheOldFileAndLeavesNoTemporaryFile) {
    WriteBytes(PathOf("old.fbl"), kOldFile);
    const FilterParams block = WorkedExampleBlock();
    const size_t size = WorkedExampleBytes().size();
    for (size_t room = 0; room < size; ++room) {
        SettingsOutcome outcome;
        EXPECT_EQ(SaveSettingsFile(PathOf("old.fbl").c_str(), &block, &outcome, static_cast<int64_t>(room)),
                  kSettingsFileWriteError)
            << room;
        EXPECT_EQ(outcome.status, kSettingsShortWrite) << room;
        EXPECT_NE(outcome.section, kSectionNone) << room;
        EXPECT_EQ(ReadBytes(PathOf("old.fbl")), kOldFile) << room;
        EXPECT_EQ(FolderNames(), (Names{"old.fbl"})) << room;
    }
    SettingsOutcome outcome;
    EXPECT_EQ(SaveSettingsFile(PathOf("old.fbl").c_str(), &block, &outcome, static_cast<int64_t>(size)), 0);
    EXPECT_EQ(ReadBytes(PathOf("old.fbl")), WorkedExampleBytes());
}

TEST_F(SettingsSaveLoad, AFullDiskOnANewFileLeavesNothing) {
    const FilterParams block = WorkedExampleBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(SaveSettingsFile(PathOf("new.fbl").c_str(), &block, &outcome, 40), kSettingsFileWriteError);
    EXPECT_EQ(outcome.section, kSectionSliders);
    EXPECT_EQ(outcome.line, 9);  // lines 1 to 8 are 39 bytes: line 9 is cut
    EXPECT_EQ(FolderNames(), Names{});
}

#ifndef _WIN32
// A real write error: the file-size limit makes the kernel refuse the
// bytes that stdio flushes at the close, after every buffered write "worked".
TEST_F(SettingsSaveLoad, AFailedFlushAtTheCloseKeepsTheOldFile) {
    WriteBytes(PathOf("old.fbl"), kOldFile);
    const FilterParams block = WorkedExampleBlock();
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 16;
    void (*savedHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SettingsOutcome outcome;
    const int32_t result = SaveSettingsFile(PathOf("old.fbl").c_str(), &block, &outcome);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(result, kSettingsFileWriteError);
    EXPECT_EQ(outcome.status, kSettingsCloseFailed);
    EXPECT_EQ(outcome.section, kSectionNone);
    EXPECT_EQ(ReadBytes(PathOf("old.fbl")), kOldFile);
    EXPECT_EQ(FolderNames(), (Names{"old.fbl"}));
}

TEST_F(SettingsSaveLoad, SaveKeepsTheOldFilesPermissions) {
    WriteBytes(PathOf("old.fbl"), kOldFile);
    fs::permissions(PathOf("old.fbl"), fs::perms::owner_read | fs::perms::owner_write);
    const FilterParams block = WorkedExampleBlock();
    EXPECT_EQ(SaveSettingsFile(PathOf("old.fbl").c_str(), &block), 0);
    EXPECT_EQ(fs::status(PathOf("old.fbl")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsSaveLoad, SaveThroughALinkReplacesTheFileItNames) {
    WriteBytes(PathOf("real.fbl"), kOldFile);
    std::error_code error;
    fs::create_symlink("real.fbl", PathOf("link.fbl"), error);
    ASSERT_FALSE(error) << error.message();
    const FilterParams block = WorkedExampleBlock();
    EXPECT_EQ(SaveSettingsFile(PathOf("link.fbl").c_str(), &block), 0);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(PathOf("link.fbl"))));
    EXPECT_EQ(ReadBytes(PathOf("real.fbl")), WorkedExampleBytes());
    EXPECT_EQ(FolderNames(), (Names{"link.fbl", "real.fbl"}));
}
#endif

TEST_F(SettingsSaveLoad, ATemporaryFileLeftBehindIsSteppedOverAndKept) {
    const std::string stale = "left by a crashed save";
    WriteBytes(PathOf("new.fbl.0.tmp"), stale);
    const FilterParams block = WorkedExampleBlock();
    EXPECT_EQ(SaveSettingsFile(PathOf("new.fbl").c_str(), &block), 0);
    EXPECT_EQ(ReadBytes(PathOf("new.fbl")), WorkedExampleBytes());
    EXPECT_EQ(ReadBytes(PathOf("new.fbl.0.tmp")), stale);
    EXPECT_EQ(FolderNames(), (Names{"new.fbl", "new.fbl.0.tmp"}));
}

TEST_F(SettingsSaveLoad, SaveIntoAMissingFolderCannotCreate) {
    const FilterParams block = WorkedExampleBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(SaveSettingsFile(PathOf("no/such/new.fbl").c_str(), &block, &outcome), kSettingsFileOpenError);
    EXPECT_EQ(outcome.status, kSettingsCannotOpen);
    EXPECT_EQ(FolderNames(), Names{});
}

TEST_F(SettingsSaveLoad, SaveOverAFolderCannotCreate) {
    std::error_code error;
    fs::create_directory(PathOf("folder.fbl"), error);
    WriteBytes(PathOf("folder.fbl/inside"), kOldFile);
    const FilterParams block = WorkedExampleBlock();
    EXPECT_EQ(SaveSettingsFile(PathOf("folder.fbl").c_str(), &block), kSettingsFileOpenError);
    EXPECT_TRUE(fs::is_directory(PathOf("folder.fbl")));
    EXPECT_EQ(ReadBytes(PathOf("folder.fbl/inside")), kOldFile);
    EXPECT_EQ(FolderNames(), (Names{"folder.fbl"}));
}

TEST_F(SettingsSaveLoad, LoadReadsSlidersAndFormulasOnly) {
    WriteBytes(PathOf("in.fbl"), WorkedExampleBytes());
    FilterParams block = GarbageBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(LoadSettingsFile(PathOf("in.fbl").c_str(), &block, &outcome), 0);
    EXPECT_EQ(outcome.status, kSettingsOk);
    FilterParams expected = GarbageBlock();
    memcpy(expected.sliderValue, WorkedExampleBlock().sliderValue, sizeof expected.sliderValue);
    for (int i = 0; i < kFormulaCount; ++i) strcpy(expected.formula[i], WorkedExampleBlock().formula[i]);
    EXPECT_TRUE(SameBlock(block, expected));
}

TEST_F(SettingsSaveLoad, LoadOfAMissingFileCannotOpenAndChangesNothing) {
    FilterParams block = GarbageBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(LoadSettingsFile(PathOf("missing.fbl").c_str(), &block, &outcome), kSettingsFileOpenError);
    EXPECT_EQ(outcome.status, kSettingsCannotOpen);
    EXPECT_TRUE(SameBlock(block, GarbageBlock()));
}

struct LoadFailureCase {
    const char* name;
    std::string bytes;
    int32_t section;
    int32_t line;
};

TEST_F(SettingsSaveLoad, AFailedLoadLeavesTheBlockUnchanged) {
    const std::string example = WorkedExampleBytes();
    const std::string sliders = HeaderAndSliders();
    const LoadFailureCase cases[] = {
        {"empty", "", kSectionHeader, 1},
        {"lower-case header", "%rgb-1.0" + example.substr(8), kSectionHeader, 1},
        {"cut in the sliders", sliders.substr(0, 20), kSectionSliders, 4},
        {"cut in formula 1", sliders + "r\r\rg\\t\r", kSectionFormulas, 13},
        {"last line without its end", example.substr(0, example.size() - 1), kSectionFormulas, 16},
    };
    for (const LoadFailureCase& c : cases) {
        WriteBytes(PathOf("in.fbl"), c.bytes);
        FilterParams block = WorkedExampleBlock();
        block.sliderValue[0] = 7;
        strcpy(block.formula[3], "unchanged");
        const FilterParams before = block;
        SettingsOutcome outcome;
        EXPECT_EQ(LoadSettingsFile(PathOf("in.fbl").c_str(), &block, &outcome), kSettingsFileReadError) << c.name;
        EXPECT_EQ(outcome.section, c.section) << c.name;
        EXPECT_EQ(outcome.line, c.line) << c.name;
        EXPECT_TRUE(SameBlock(block, before)) << c.name;
    }
}

TEST_F(SettingsSaveLoad, WhatIsSavedLoadsBack) {
    FilterParams block = GarbageBlock(0);
    for (int i = 0; i < kSliderCount; ++i) block.sliderValue[i] = 255 - 30 * i;
    strcpy(block.formula[0], Pattern(1023).c_str());
    strcpy(block.formula[1], "x\r\ny \"\\\" \x1b\xe9");
    strcpy(block.formula[3], "a");
    ASSERT_EQ(SaveSettingsFile(PathOf("round.fbl").c_str(), &block), 0);
    FilterParams read = GarbageBlock();
    ASSERT_EQ(LoadSettingsFile(PathOf("round.fbl").c_str(), &read), 0);
    EXPECT_EQ(memcmp(read.sliderValue, block.sliderValue, sizeof block.sliderValue), 0);
    for (int i = 0; i < kFormulaCount; ++i) EXPECT_STREQ(read.formula[i], block.formula[i]) << i;
}

}  // namespace
