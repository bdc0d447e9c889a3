// What the readers tell their caller besides the block: the notes on what
// the rules changed, the lines of the file as an editor counts them, a line
// feed alone among the formulas, and the bound on how much is read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "SettingsFile.h"
#include "SettingsSaveLoad.h"
#include "SettingsTestSupport.h"

using namespace settings_test;
using namespace std::string_literals;

namespace {

struct Read {
    SettingsOutcome outcome{};
    SettingsNotes notes{};
    FilterParams block = GarbageBlock();
};

// Runs the readers over `bytes`, with notes, and `readRoom` as given.
Read ReadWithNotes(const std::string& bytes, int64_t readRoom = -1) {
    Read read;
    File file(FileWith(bytes));
    SettingsStream stream = MakeSettingsStream(file.get());
    stream.readRoom = readRoom;
    stream.notes = &read.notes;
    RunReaders(&stream, &read.block, &read.outcome);
    return read;
}

const std::string kFormulas = "r\r\rg\r\rb\r\ra\r\r";

struct SliderNoteCase {
    std::string line;  // the slider line, its first byte included
    bool noted;
    int32_t value;
    std::string text;  // as noted
};

TEST(SettingsNotes, SayWhichSliderLinesWereClampedOrHeldNoNumber) {
    const SliderNoteCase cases[] = {
        {"\x03"
         "999",
         true, 255, "999"},
        {"\x02"
         "-5",
         true, 0, "-5"},
        {"\x01"
         "abc",
         true, 0, "abc"},
        {"", true, 0, ""},
        {"\x01", true, 0, ""},
        {"\x14"
         "99999999999999999999",
         true, 255, "99999999999999999999"},
        {"x" + std::string(60, '9'), true, 255, std::string(kSliderTextNoted, '9')},
        // What the rules take as written is no change.
        {"\x02"
         "21",
         false, 21, ""},
        {"7200", false, 200, ""},
        {"\x03"
         "255",
         false, 255, ""},
        {"\x01"
         "0",
         false, 0, ""},
        {"\x02"
         " 7",
         false, 7, ""},
        {"\x02"
         "12abc",
         false, 12, ""},
    };
    for (const SliderNoteCase& c : cases) {
        std::string sliders;
        for (int i = 0; i < kSliderCount; ++i)
            sliders += (i == 3 ? c.line
                               : "\x01"
                                 "5") +
                       "\r"s;
        const Read read = ReadWithNotes("%RGB-1.0\r" + sliders + kFormulas);
        ASSERT_EQ(read.outcome.status, kSettingsOk) << c.line;
        for (int i = 0; i < kSliderCount; ++i)
            EXPECT_EQ(read.notes.sliderNoted[i], i == 3 && c.noted ? 1 : 0) << c.line << ", slider " << i;
        EXPECT_EQ(read.block.sliderValue[3], c.value) << c.line;
        if (!c.noted) continue;
        EXPECT_EQ(read.notes.sliderValue[3], c.value) << c.line;
        EXPECT_EQ(read.notes.sliderText[3], c.text) << c.line;
        EXPECT_EQ(read.notes.sliderTextLength[3], c.line.empty() ? 0 : int32_t(c.line.size()) - 1) << c.line;
    }
}

struct FormulaNoteCase {
    const char* name;
    std::vector<std::string> lines;  // formula 1's lines before its empty line
    int32_t kept;
    int64_t length;
};

TEST(SettingsNotes, SayHowMuchOfEachFormulaWasKept) {
    const FormulaNoteCase cases[] = {
        {"empty", {}, 0, 0},
        {"short", {"g+1"}, 3, 3},
        {"1023 in whole lines", std::vector<std::string>(11, std::string(93, 'g')), 1023, 1023},
        {"1100 in lines of 63",
         [] {
             std::vector<std::string> lines(17, std::string(63, 'g'));
             lines.push_back(std::string(29, 'g'));
             return lines;
         }(),
         1008, 1100},
        // Counted after unescaping: each line of four bytes is one "A".
        {"escaped", std::vector<std::string>(5, "\\101"), 5, 5},
        // Pieces of 255: four fit, 1020 characters.
        {"a long line in pieces", {std::string(2000, 'g')}, 1020, 2000},
    };
    for (const FormulaNoteCase& c : cases) {
        std::string formula1;
        for (const std::string& line : c.lines) formula1 += line + "\r";
        const Read read = ReadWithNotes(HeaderAndSliders() + "r\r\r" + formula1 + "\rb\r\ra\r\r");
        ASSERT_EQ(read.outcome.status, kSettingsOk) << c.name;
        EXPECT_EQ(read.notes.formulaKept[1], c.kept) << c.name;
        EXPECT_EQ(read.notes.formulaLength[1], c.length) << c.name;
        EXPECT_EQ(read.notes.formulaKept[0], 1) << c.name;
        EXPECT_EQ(SettingsNotesSayAnything(read.notes), c.kept < c.length) << c.name;
    }
}

struct LineCase {
    const char* name;
    std::string file;
    int32_t status;
    int32_t fileLine;   // as an editor counts
    int32_t readLines;  // ReadLine calls
    int32_t lineFeedLine;
};

TEST(SettingsLines, AreCountedAsTheFileHoldsThemAndALoneLineFeedIsNoted) {
    const std::string start = HeaderAndSliders();
    const LineCase cases[] = {
        {"cut after formula 0", start + "r\r\r", kSettingsLineUnreadable, 12, 12, 0},
        {"a long line before the cut", start + std::string(1000, 'x') + "\r\rg\r", kSettingsLineUnreadable, 13, 16, 0},
        {"a line of exactly 255", start + std::string(255, 'x') + "\r\rg\r", kSettingsLineUnreadable, 13, 14, 0},
        {"a long slider line", "%RGB-1.0\r" + std::string(600, '9') + "\r", kSettingsLineUnreadable, 3, 5, 0},
        {"a line feed for an empty line", start + "r\r\n\rg\r\rb\r\ra\r\r", kSettingsLineUnreadable, 18, 18, 11},
        {"a line feed at the end", start + "r\r\rg\r\rb\r\ra\r\n", kSettingsLineUnreadable, 17, 17, 17},
        {"a line feed inside a formula", start + "r\r\n\r\rg\r\rb\r\ra\r\r", kSettingsOk, 0, 0, 0},
    };
    for (const LineCase& c : cases) {
        File file(FileWith(c.file));
        SettingsStream stream = MakeSettingsStream(file.get());
        FilterParams block = GarbageBlock();
        SettingsOutcome outcome{};
        EXPECT_EQ(RunReaders(&stream, &block, &outcome), c.status) << c.name;
        EXPECT_EQ(outcome.fileLine, c.fileLine) << c.name;
        EXPECT_EQ(outcome.line, c.readLines) << c.name;
        EXPECT_EQ(outcome.lineFeedLine, c.lineFeedLine) << c.name;
    }
}

TEST(SettingsReadRoom, StopsTheReadersAtTheBoundAndNotBefore) {
    const std::string file = WorkedExampleBytes();
    const int64_t size = int64_t(file.size());
    EXPECT_EQ(ReadWithNotes(file, size).outcome.status, kSettingsOk);
    EXPECT_EQ(ReadWithNotes(file + "after the end, never read", size).outcome.status, kSettingsOk);
    const Read short1 = ReadWithNotes(file, size - 1);
    EXPECT_EQ(short1.outcome.status, kSettingsTooLong);
    EXPECT_EQ(short1.outcome.section, kSectionFormulas);
    EXPECT_EQ(ReadWithNotes(file, 3).outcome.section, kSectionHeader);
}

TEST(SettingsReadRoom, LoadingReadsNoFurtherThanTheBound) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fablix-settings-room-" + std::to_string(getpid()) + ".fbl"))
            .string();
    const std::string start = HeaderAndSliders();
    struct {
        int64_t formulaBytes;
        int32_t result, status;
    } cases[] = {
        {kSettingsFileMaxBytes - int64_t(start.size()) - 5, 0, kSettingsOk},
        {kSettingsFileMaxBytes, kSettingsFileReadError, kSettingsTooLong},
        {int64_t(40) << 20, kSettingsFileReadError, kSettingsTooLong},
    };
    for (const auto& c : cases) {
        {
            std::ofstream out(path, std::ios::binary);
            out << start << std::string(size_t(c.formulaBytes), 'q') << "\r\r\r\r\r";
        }
        FilterParams block = GarbageBlock();
        SettingsOutcome outcome{};
        SettingsNotes notes{};
        EXPECT_EQ(LoadSettingsFile(path.c_str(), &block, &outcome, &notes), c.result) << c.formulaBytes;
        EXPECT_EQ(outcome.status, c.status) << c.formulaBytes;
        EXPECT_EQ(notes.formulaLength[0], c.result == 0 ? c.formulaBytes : 0) << c.formulaBytes;
        EXPECT_STREQ(SettingsStatusText(static_cast<SettingsStatus>(c.status)),
                     c.status == kSettingsOk ? "success"
                                             : "the file goes on past 1 MiB, far longer than any settings file");
    }
    std::filesystem::remove(path);
}

}  // namespace
