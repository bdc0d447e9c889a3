// The settings-file format: exact bytes written, values and
// texts read back, and every way a file can fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "SettingsFile.h"
#include "SettingsTestSupport.h"

using namespace settings_test;
using namespace std::string_literals;

namespace {

// Runs `write` on a stream over an empty temporary file; returns the bytes.
template <typename Write>
std::string Written(Write write, int64_t writeRoom = -1, int32_t* status = nullptr, SettingsStream* after = nullptr) {
    File file(tmpfile());
    SettingsStream stream = MakeSettingsStream(file.get());
    stream.writeRoom = writeRoom;
    const int32_t result = write(&stream);
    if (status) *status = result;
    if (after) *after = stream;
    return Contents(file.get());
}

std::string WrittenFile(const FilterParams& block, int64_t writeRoom = -1, SettingsOutcome* outcome = nullptr,
                        SettingsStream* after = nullptr) {
    SettingsOutcome result;
    std::string bytes =
        Written([&](SettingsStream* s) { return RunWriters(s, &block, &result); }, writeRoom, nullptr, after);
    if (outcome) *outcome = result;
    return bytes;
}

// Reads `bytes` with the three readers into `block`.
SettingsOutcome ReadFile(const std::string& bytes, FilterParams* block) {
    File file(FileWith(bytes));
    SettingsStream stream = MakeSettingsStream(file.get());
    SettingsOutcome outcome;
    const int32_t status = RunReaders(&stream, block, &outcome);
    EXPECT_EQ(status, outcome.status);
    return outcome;
}

std::string FormulaSection(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += Line(line);
    return bytes;
}

std::string Escaped(const std::string& text) {
    std::vector<char> output(4 * text.size() + 1, 'X');
    EscapeText(output.data(), text.c_str());
    return output.data();
}

// Unescapes from a buffer of exactly the input's size, so that ASan sees
// any read past its terminator.
std::string Unescaped(const std::string& text) {
    std::vector<char> input(text.begin(), text.end());
    input.push_back(0);
    std::vector<char> output(input.size(), 'X');
    UnescapeText(output.data(), input.data());
    return output.data();
}

// ---------------------------------------------------------------------------
// The worked example

TEST(SettingsWorkedExample, IsWrittenByteForByte) {
    const FilterParams block = WorkedExampleBlock();
    SettingsOutcome outcome;
    EXPECT_EQ(WrittenFile(block, -1, &outcome), WorkedExampleBytes());
    EXPECT_EQ(outcome.status, kSettingsOk);
    EXPECT_EQ(outcome.section, kSectionNone);
    EXPECT_EQ(outcome.line, 0);
}

TEST(SettingsWorkedExample, ReadsBackIntoAGarbageBlock) {
    FilterParams block = GarbageBlock();
    const FilterParams before = block;
    const SettingsOutcome outcome = ReadFile(WorkedExampleBytes(), &block);
    EXPECT_EQ(outcome.status, kSettingsOk);
    EXPECT_EQ(outcome.section, kSectionNone);
    const int32_t sliders[kSliderCount] = {21, 99, 141, 67, 54, 16, 130, 56};
    for (int i = 0; i < kSliderCount; ++i) EXPECT_EQ(block.sliderValue[i], sliders[i]) << i;
    EXPECT_STREQ(block.formula[0], "r");
    EXPECT_STREQ(block.formula[1], "g\t+1");
    EXPECT_STREQ(block.formula[2], "");
    EXPECT_STREQ(block.formula[3], "a");
    // Nothing but the sliders and formulas travels.
    EXPECT_EQ(memcmp(&block, &before, offsetof(FilterParams, sliderValue)), 0);
    EXPECT_EQ(memcmp(reinterpret_cast<char*>(&block) + offsetof(FilterParams, hasControls),
                     reinterpret_cast<const char*>(&before) + offsetof(FilterParams, hasControls),
                     offsetof(FilterParams, formula) - offsetof(FilterParams, hasControls)),
              0);
}

TEST(SettingsWorkedExample, BytesAfterTheLastFormulaAreNeverRead) {
    FilterParams block = GarbageBlock();
    const SettingsOutcome outcome = ReadFile(WorkedExampleBytes() + "junk\rmore", &block);
    EXPECT_EQ(outcome.status, kSettingsOk);
    EXPECT_STREQ(block.formula[3], "a");
}

// ---------------------------------------------------------------------------
// Lines

struct WriteLineCase {
    const char* text;
    int64_t room;
    int32_t status;
    std::string bytes;
    int32_t writeCalls;  // 1: the line end was not tried after a short text
};

TEST(SettingsWriteLine, StoresTextThenCarriageReturnAndFailsOnAShortWrite) {
    const WriteLineCase cases[] = {
        {"abcd", -1, kSettingsOk, "abcd\r", 2},     {"", -1, kSettingsOk, "\r", 2},
        {"abcd", 5, kSettingsOk, "abcd\r", 2},      {"abcd", 4, kSettingsShortWrite, "abcd", 2},
        {"abcd", 3, kSettingsShortWrite, "abc", 1}, {"abcd", 0, kSettingsShortWrite, "", 1},
        {"", 0, kSettingsShortWrite, "", 2},
    };
    for (const WriteLineCase& c : cases) {
        int32_t status = -1;
        SettingsStream after;
        const std::string bytes =
            Written([&](SettingsStream* s) { return WriteLine(s, c.text); }, c.room, &status, &after);
        EXPECT_EQ(status, c.status) << c.text << " room " << c.room;
        EXPECT_EQ(bytes, c.bytes) << c.text << " room " << c.room;
        EXPECT_EQ(after.writeCalls, c.writeCalls) << c.text << " room " << c.room;
        EXPECT_EQ(after.line, 1);
    }
}

struct ReadLineCase {
    std::string file;
    std::vector<std::string> lines;  // what successive ReadLine calls return
    std::vector<int32_t> statuses;
};

TEST(SettingsReadLine, SplitsAtCarriageReturnsAnd255Bytes) {
    const ReadLineCase cases[] = {
        {"", {""}, {kSettingsLineUnreadable}},
        {"\r", {"", ""}, {kSettingsOk, kSettingsLineUnreadable}},
        {"abc\rdef\r", {"abc", "def", ""}, {kSettingsOk, kSettingsOk, kSettingsLineUnreadable}},
        // The last line lacks its carriage return: it fails, keeping its bytes.
        {"abc\rdef", {"abc", "def"}, {kSettingsOk, kSettingsLineUnreadable}},
        // A line feed is an ordinary byte.
        {"ab\ncd\r\n\r", {"ab\ncd", "\n"}, {kSettingsOk, kSettingsOk}},
        {"ab\ncd\n", {"ab\ncd\n"}, {kSettingsLineUnreadable}},
        // 255 bytes end a line; the rest, carriage return included, is the next.
        {Repeat('x', 300) + "\r",
         {Repeat('x', 255), Repeat('x', 45), ""},
         {kSettingsOk, kSettingsOk, kSettingsLineUnreadable}},
        {Repeat('y', 255) + "\r", {Repeat('y', 255), "", ""}, {kSettingsOk, kSettingsOk, kSettingsLineUnreadable}},
        {Repeat('z', 254) + "\r", {Repeat('z', 254), ""}, {kSettingsOk, kSettingsLineUnreadable}},
        {Repeat('w', 600),
         {Repeat('w', 255), Repeat('w', 255), Repeat('w', 90)},
         {kSettingsOk, kSettingsOk, kSettingsLineUnreadable}},
    };
    for (const ReadLineCase& c : cases) {
        File file(FileWith(c.file));
        SettingsStream stream = MakeSettingsStream(file.get());
        for (size_t i = 0; i < c.lines.size(); ++i) {
            // Exactly 256 bytes on the heap: ASan sees a write past the buffer.
            std::unique_ptr<char[]> buffer(new char[kLineBufferSize]);
            memset(buffer.get(), 'Q', kLineBufferSize);
            int32_t length = -1;
            EXPECT_EQ(ReadLine(&stream, buffer.get(), &length), c.statuses[i])
                << "case of " << c.file.size() << " bytes, line " << i;
            EXPECT_EQ(std::string(buffer.get(), length), c.lines[i])
                << "case of " << c.file.size() << " bytes, line " << i;
            EXPECT_EQ(buffer[length], 0);
            EXPECT_EQ(stream.line, static_cast<int32_t>(i + 1));
        }
    }
}

TEST(SettingsReadLine, KeepsZeroBytesAndReportsTheirLength) {
    File file(FileWith("a\0b\r"s));
    SettingsStream stream = MakeSettingsStream(file.get());
    char buffer[kLineBufferSize];
    int32_t length = 0;
    EXPECT_EQ(ReadLine(&stream, buffer), kSettingsOk);
    rewind(file.get());
    EXPECT_EQ(ReadLine(&stream, buffer, &length), kSettingsOk);
    EXPECT_EQ(std::string(buffer, length), "a\0b"s);
}

// ---------------------------------------------------------------------------
// Header

TEST(SettingsHeader, IsWrittenAsTheEightCharacters) {
    const FilterParams block = GarbageBlock();
    EXPECT_EQ(Written([&](SettingsStream* s) { return WriteHeader(s, &block); }), "%RGB-1.0\r");
}

struct HeaderCase {
    std::string file;
    int32_t status;
};

TEST(SettingsHeader, MustBeExactlyTheEightCharacters) {
    const HeaderCase cases[] = {
        {"%RGB-1.0\r", kSettingsOk},
        {"%RGB-1.0\rjunk", kSettingsOk},
        {"", kSettingsLineUnreadable},
        {"%RGB-1.0", kSettingsLineUnreadable},
        {"%RGB-1.0\n", kSettingsLineUnreadable},
        {"%rgb-1.0\r", kSettingsBadHeader},
        {"%RGB-1.1\r", kSettingsBadHeader},
        {"%RGB-1.0 \r", kSettingsBadHeader},
        {" %RGB-1.0\r", kSettingsBadHeader},
        {"%RGB-1.\r", kSettingsBadHeader},
        {"\r%RGB-1.0\r", kSettingsBadHeader},
        {"%RGB-1.0\n\r", kSettingsBadHeader},
        {"%RGB-1.0\0x\r"s, kSettingsBadHeader},
    };
    for (const HeaderCase& c : cases) {
        File file(FileWith(c.file));
        SettingsStream stream = MakeSettingsStream(file.get());
        FilterParams block = GarbageBlock();
        EXPECT_EQ(ReadHeader(&stream, &block), c.status) << c.file;
        EXPECT_TRUE(SameBlock(block, GarbageBlock())) << c.file;
    }
}

// ---------------------------------------------------------------------------
// Sliders

struct SliderWriteCase {
    int32_t value;
    std::string line;
};

TEST(SettingsSliders, AreWrittenAsLengthByteAndDigits) {
    const SliderWriteCase cases[] = {
        {0,
         "\x01"
         "0"},
        {9,
         "\x01"
         "9"},
        {10,
         "\x02"
         "10"},
        {21,
         "\x02"
         "21"},
        {99,
         "\x02"
         "99"},
        {100,
         "\x03"
         "100"},
        {141,
         "\x03"
         "141"},
        {255,
         "\x03"
         "255"},
    };
    for (const SliderWriteCase& c : cases) {
        FilterParams block = GarbageBlock(0);
        for (int i = 0; i < kSliderCount; ++i) block.sliderValue[i] = c.value;
        std::string expected;
        for (int i = 0; i < kSliderCount; ++i) expected += Line(c.line);
        EXPECT_EQ(Written([&](SettingsStream* s) { return WriteSliders(s, &block); }), expected) << c.value;
    }
}

struct SliderReadCase {
    std::string line;
    int32_t value;
};

TEST(SettingsSliders, ReadAfterTheFirstByteLikeAtolAndAreClamped) {
    const SliderReadCase cases[] = {
        {"\x02"
         "21",
         21},
        {"\x01"
         "0",
         0},
        {"\x03"
         "255",
         255},
        {"7200", 200},  // the 7 is dropped unread
        {"\x02"
         "-5",
         0},
        {"\x03"
         "999",
         255},
        {"x256", 255},
        {"x-0", 0},
        {"x+17", 17},
        {"x \t\n\v\f42z", 42},  // leading white space skipped
        {"x12 34", 12},
        {"x0042", 42},
        {"xabc", 0},  // no digits
        {"x", 0},     // nothing after the first byte
        {"", 0},      // no first byte: 0, and nothing read past the line
        {"x-", 0},
        {"x+-3", 0},
        {"x99999999999999999999", 255},
        {"x-99999999999999999999", 0},
        {"\0"
         "77"s,
         77},  // the first byte is dropped whatever it is
        {"x7\0"
         "5"s,
         7},
    };
    for (const SliderReadCase& c : cases) {
        std::string file = "%RGB-1.0\r";
        for (int i = 0; i < kSliderCount; ++i) file += Line(c.line);
        File handle(FileWith(file));
        SettingsStream stream = MakeSettingsStream(handle.get());
        FilterParams block = GarbageBlock();
        ASSERT_EQ(ReadHeader(&stream, &block), kSettingsOk);
        EXPECT_EQ(ReadSliders(&stream, &block), kSettingsOk) << c.line;
        for (int i = 0; i < kSliderCount; ++i) EXPECT_EQ(block.sliderValue[i], c.value) << c.line;
    }
}

TEST(SettingsSliders, AnEmptyLineDoesNotSeeTheLineBeforeIt) {
    // The buffer still holds "200" behind the empty line's terminator.
    File handle(
        FileWith("\x03"
                 "200\r"
                 "\r"
                 "\x03"
                 "201\r"
                 "\r"
                 "\r"
                 "\r"
                 "\r"
                 "\r"));
    SettingsStream stream = MakeSettingsStream(handle.get());
    FilterParams block = GarbageBlock();
    ASSERT_EQ(ReadSliders(&stream, &block), kSettingsOk);
    const int32_t expected[kSliderCount] = {200, 0, 201, 0, 0, 0, 0, 0};
    for (int i = 0; i < kSliderCount; ++i) EXPECT_EQ(block.sliderValue[i], expected[i]) << i;
}

TEST(SettingsSliders, AWriteFailureStopsTheLaterValues) {
    FilterParams block = WorkedExampleBlock();
    int32_t status = -1;
    SettingsStream after;
    // Room for the first two lines and one byte of the third.
    const std::string bytes = Written([&](SettingsStream* s) { return WriteSliders(s, &block); }, 9, &status, &after);
    EXPECT_EQ(status, kSettingsShortWrite);
    EXPECT_EQ(bytes,
              "\x02"
              "21\r"
              "\x02"
              "99\r"
              "\x03");
    EXPECT_EQ(after.line, 3);
}

// ---------------------------------------------------------------------------
// Escaping

// The escaping table, as an independent statement of each class.
std::string ExpectedEscape(unsigned char c) {
    static const char* const kLetters[] = {"\\b", "\\t", "\\n", "\\v", "\\f", "\\r"};
    if (c >= 8 && c <= 13) return kLetters[c - 8];
    if ((c >= 1 && c <= 7) || (c >= 14 && c <= 31) || c >= 128) {
        char octal[5];
        snprintf(octal, sizeof octal, "\\%03o", c);
        return octal;
    }
    if (c == 34 || c == 39 || c == 92) return std::string("\\") + static_cast<char>(c);
    return std::string(1, static_cast<char>(c));
}

struct EscapeCase {
    unsigned char byte;
    const char* escaped;
};

TEST(SettingsEscape, EachClassHasItsExactForm) {
    const EscapeCase cases[] = {
        {1, "\\001"}, {7, "\\007"},  {8, "\\b"},     {9, "\\t"},     {10, "\\n"},    {11, "\\v"},    {12, "\\f"},
        {13, "\\r"},  {14, "\\016"}, {27, "\\033"},  {31, "\\037"},  {32, " "},      {33, "!"},      {34, "\\\""},
        {35, "#"},    {39, "\\'"},   {48, "0"},      {65, "A"},      {91, "["},      {92, "\\\\"},   {93, "]"},
        {126, "~"},   {127, "\x7f"}, {128, "\\200"}, {200, "\\310"}, {233, "\\351"}, {255, "\\377"},
    };
    for (const EscapeCase& c : cases) {
        const char text[2] = {static_cast<char>(c.byte), 0};
        EXPECT_EQ(Escaped(text), c.escaped) << int(c.byte);
    }
}

TEST(SettingsEscape, EveryByteEscapesByItsClassAndComesBack) {
    std::string all;
    std::string allEscaped;
    for (int b = 1; b <= 255; ++b) {
        const unsigned char c = static_cast<unsigned char>(b);
        const std::string text(1, static_cast<char>(c));
        const std::string escaped = Escaped(text);
        EXPECT_EQ(escaped, ExpectedEscape(c)) << b;
        EXPECT_EQ(escaped.find('\r'), std::string::npos) << b;
        EXPECT_EQ(Unescaped(escaped), text) << b;
        all += text;
        allEscaped += escaped;
    }
    EXPECT_EQ(Escaped(all), allEscaped);
    EXPECT_EQ(Unescaped(allEscaped), all);
}

TEST(SettingsEscape, CarriageReturnLineFeedBreaksStayInsideTheLine) {
    EXPECT_EQ(Escaped("a\r\nb"), "a\\r\\nb");
    EXPECT_EQ(Escaped(""), "");
}

struct UnescapeCase {
    std::string escaped;
    std::string text;
};

TEST(SettingsUnescape, ReadsEverySequence) {
    const UnescapeCase cases[] = {
        {"\\q", "q"},
        {"\\101", "A"},
        {"\\7", "\x07"},
        {"\\777", "\xff"},
        {"\\1012", "A2"},  // at most three digits
        {"\\18",
         "\x01"
         "8"},          // 8 is no octal digit
        {"\\08x", ""},  // byte 0 ends the text
        {"\\41\\42", "!\""},
        {"\\b\\f\\n\\r\\t\\v", "\b\f\n\r\t\v"},
        {"\\\"", "\""},
        {"\\'", "'"},
        {"\\\\", "\\"},
        {"\\a", "a"},
        {"\\8", "8"},
        {"\\\\t", "\\t"},
        {"ab\\", "ab"},  // a single backslash at the end stands for nothing
        {"\\", ""},
        {"\\\\\\", "\\"},
        {"a\\7", "a\x07"},  // octal digits up to the line's end, not past it
        {"a\\37", "a\x1f"},
        {"plain text", "plain text"},
        {"", ""},
    };
    for (const UnescapeCase& c : cases) EXPECT_EQ(Unescaped(c.escaped), c.text) << c.escaped;
}

// ---------------------------------------------------------------------------
// Formulas

struct FormulaWriteCase {
    std::string name;
    std::string formula;
    std::vector<std::string> lines;  // formula 0's lines; formulas 1..3 are empty
};

std::vector<std::string> Pieces(const std::string& text, size_t size) {
    std::vector<std::string> pieces;
    for (size_t i = 0; i < text.size(); i += size) pieces.push_back(text.substr(i, size));
    pieces.push_back("");
    return pieces;
}

TEST(SettingsFormulas, AreCutInto63CharacterPiecesBeforeEscaping) {
    const std::string f1023 = Pattern(1023);
    std::vector<std::string> lines1023;
    for (int i = 0; i < 16; ++i) lines1023.push_back(f1023.substr(63 * i, 63));
    lines1023.push_back(f1023.substr(1008, 15));
    lines1023.push_back("");
    const FormulaWriteCase cases[] = {
        {"empty", "", {""}},
        {"one", "a", {"a", ""}},
        {"62", Pattern(62), {Pattern(62), ""}},
        {"63", Pattern(63), {Pattern(63), ""}},
        {"64", Pattern(64), {Pattern(63), Pattern(64).substr(63), ""}},
        {"126", Pattern(126), {Pattern(63), Pattern(126).substr(63), ""}},
        {"127", Pattern(127), {Pattern(63), Pattern(127).substr(63, 63), "w", ""}},
        {"1023", f1023, lines1023},
        // Sixty-three escaped bytes make the longest line, 252 characters.
        {"all escaped",
         Repeat('\xc8', 64),
         {[] {
              std::string s;
              for (int i = 0; i < 63; ++i) s += "\\310";
              return s;
          }(),
          "\\310", ""}},
        {"escape at the cut", Repeat('a', 62) + "\t\"", {Repeat('a', 62) + "\\t", "\\\"", ""}},
    };
    ASSERT_EQ(lines1023.size(), 18u);
    for (const FormulaWriteCase& c : cases) {
        FilterParams block = GarbageBlock(0);
        memcpy(block.formula[0], c.formula.c_str(), c.formula.size() + 1);
        std::vector<std::string> lines = c.lines;
        lines.insert(lines.end(), {"", "", ""});
        SettingsStream after;
        int32_t status = -1;
        EXPECT_EQ(Written([&](SettingsStream* s) { return WriteFormulas(s, &block); }, -1, &status, &after),
                  FormulaSection(lines))
            << c.name;
        EXPECT_EQ(status, kSettingsOk);
        EXPECT_EQ(after.line, static_cast<int32_t>(lines.size())) << c.name;

        // And back, whole.
        FilterParams read = GarbageBlock();
        File file(FileWith(FormulaSection(lines)));
        SettingsStream stream = MakeSettingsStream(file.get());
        EXPECT_EQ(ReadFormulas(&stream, &read), kSettingsOk) << c.name;
        EXPECT_EQ(std::string(read.formula[0]), c.formula) << c.name;
        for (int i = 1; i < kFormulaCount; ++i) EXPECT_STREQ(read.formula[i], "") << c.name;
    }
}

TEST(SettingsFormulas, AnUnterminatedSlotIsWrittenNoFurtherThanItsEnd) {
    FilterParams block = GarbageBlock(0);
    memset(block.formula[0], 'q', kFormulaSlotSize);  // runs into formula 1's slot
    block.formula[1][0] = 'Z';
    const std::string full = Repeat('q', kFormulaSlotSize);
    std::vector<std::string> lines = Pieces(full, 63);
    lines.insert(lines.end(), {"Z", "", "", ""});
    EXPECT_EQ(Written([&](SettingsStream* s) { return WriteFormulas(s, &block); }), FormulaSection(lines));
}

TEST(SettingsFormulas, AWriteFailureStopsEveryLaterLine) {
    FilterParams block = GarbageBlock(0);
    strcpy(block.formula[0], Pattern(100).c_str());
    strcpy(block.formula[1], "b");
    // Room for the first line and 10 bytes of the second.
    int32_t status = -1;
    SettingsStream after;
    const std::string bytes =
        Written([&](SettingsStream* s) { return WriteFormulas(s, &block); }, 64 + 10, &status, &after);
    EXPECT_EQ(status, kSettingsShortWrite);
    EXPECT_EQ(bytes, Line(Pattern(63)) + Pattern(100).substr(63, 10));
    EXPECT_EQ(after.line, 2);
}

struct FormulaReadCase {
    std::string name;
    std::vector<std::string> lines;  // formula 0's lines, its empty line included
    std::string formula;             // what formula 0 reads as
    std::string second = "next";     // what formula 1 reads as
};

// The escaped lines of `text` cut into pieces of 63, as the writer makes them.
std::vector<std::string> EscapedPieces(const std::string& text) {
    std::vector<std::string> lines = Pieces(text, 63);
    for (std::string& line : lines) line = Escaped(line);
    return lines;
}

TEST(SettingsFormulas, AreReadBelow1024CharactersCutAfterTheLastWholeLineThatFits) {
    const std::string f1100 = Pattern(1100);
    std::vector<std::string> hundreds;  // 1000 characters in lines of 250
    for (int i = 0; i < 4; ++i) hundreds.push_back(Pattern(1000).substr(250 * i, 250));
    std::vector<std::string> leftOut = hundreds;
    leftOut.insert(leftOut.end(), {Repeat('X', 30), Repeat('Y', 5), ""});
    std::vector<std::string> exact = hundreds;
    exact.insert(exact.end(), {Repeat('X', 23), ""});
    std::vector<std::string> oneOver = hundreds;
    oneOver.insert(oneOver.end(), {Repeat('X', 24), ""});
    const FormulaReadCase cases[] = {
        {"1100 in lines of 63", Pieces(f1100, 63), f1100.substr(0, 1008)},
        {"1023 in lines of 63", Pieces(Pattern(1023), 63), Pattern(1023)},
        {"1024 in lines of 63", Pieces(Pattern(1024), 63), Pattern(1008)},
        {"once left out, always", leftOut, Pattern(1000)},
        {"1023 exactly", exact, Pattern(1000) + Repeat('X', 23)},
        {"1024 is too many", oneOver, Pattern(1000)},
        // Lines are counted unescaped: 252 bytes of a line are 63 characters.
        {"escaped 1100", EscapedPieces(Repeat('\xc8', 1100)), Repeat('\xc8', 1008)},
        {"escaped 1023", EscapedPieces(Repeat('\x01', 1023)), Repeat('\x01', 1023)},
        // A line whose text unescapes to nothing ends the formula.
        {"zero byte ends it", {"ab", "\\0"}, "ab", "cd"},
        {"lone backslash ends it", {"a", "\\"}, "a", "b"},
    };
    for (const FormulaReadCase& c : cases) {
        std::vector<std::string> lines = c.lines;
        // The formulas after it must still be found where they start.
        lines.insert(lines.end(), {c.second, "", "", ""});
        FilterParams block = GarbageBlock();
        File file(FileWith(FormulaSection(lines)));
        SettingsStream stream = MakeSettingsStream(file.get());
        EXPECT_EQ(ReadFormulas(&stream, &block), kSettingsOk) << c.name;
        EXPECT_EQ(std::string(block.formula[0]), c.formula) << c.name;
        EXPECT_LT(strnlen(block.formula[0], kFormulaSlotSize), size_t(kFormulaSlotSize));
        EXPECT_EQ(std::string(block.formula[1]), c.second) << c.name;
        EXPECT_STREQ(block.formula[2], "") << c.name;
        EXPECT_STREQ(block.formula[3], "") << c.name;
    }
}

// ---------------------------------------------------------------------------
// Failures of a whole file

struct FailureCase {
    std::string name;
    std::string file;
    int32_t status;
    int32_t section;
    int32_t line;
};

std::string WithLineFeeds(std::string bytes) {
    for (char& c : bytes)
        if (c == '\r') c = '\n';
    return bytes;
}

TEST(SettingsFileFailures, StopAtTheFirstFailingSectionAndLine) {
    const std::string sliders = HeaderAndSliders();
    const std::string example = WorkedExampleBytes();
    const FailureCase cases[] = {
        {"empty file", "", kSettingsLineUnreadable, kSectionHeader, 1},
        {"no header", sliders.substr(9), kSettingsBadHeader, kSectionHeader, 1},
        {"lower-case header", "%rgb-1.0\r" + sliders.substr(9), kSettingsBadHeader, kSectionHeader, 1},
        {"line feeds only", WithLineFeeds(example), kSettingsLineUnreadable, kSectionHeader, 1},
        {"line feeds, long file", WithLineFeeds(example) + Repeat('\n', 300), kSettingsBadHeader, kSectionHeader, 1},
        {"cut after the header", sliders.substr(0, 9), kSettingsLineUnreadable, kSectionSliders, 2},
        {"cut after three sliders", sliders.substr(0, 9 + 4 + 4 + 5), kSettingsLineUnreadable, kSectionSliders, 5},
        {"cut inside a slider line", sliders.substr(0, 9 + 4 + 2), kSettingsLineUnreadable, kSectionSliders, 3},
        {"cut after the sliders", sliders, kSettingsLineUnreadable, kSectionFormulas, 10},
        {"cut inside formula 1", sliders + "r\r\rg\\t", kSettingsLineUnreadable, kSectionFormulas, 12},
        {"cut after a line of formula 1", sliders + "r\r\rg\\t+1\r", kSettingsLineUnreadable, kSectionFormulas, 13},
        {"last line without its carriage return", example.substr(0, example.size() - 1), kSettingsLineUnreadable,
         kSectionFormulas, 16},
    };
    for (const FailureCase& c : cases) {
        FilterParams block = GarbageBlock();
        const SettingsOutcome outcome = ReadFile(c.file, &block);
        EXPECT_EQ(outcome.status, c.status) << c.name;
        EXPECT_EQ(outcome.section, c.section) << c.name;
        EXPECT_EQ(outcome.line, c.line) << c.name;
    }
}

TEST(SettingsFileFailures, AFailedHeaderChangesNothing) {
    for (const std::string& file :
         {""s, "%rgb-1.0\r"s + HeaderAndSliders().substr(9), WithLineFeeds(WorkedExampleBytes())}) {
        FilterParams block = GarbageBlock();
        ReadFile(file, &block);
        EXPECT_TRUE(SameBlock(block, GarbageBlock()));
    }
}

TEST(SettingsFileFailures, ACutInTheSlidersKeepsTheValuesReadAndTheRest) {
    FilterParams block = GarbageBlock();
    const SettingsOutcome outcome = ReadFile(HeaderAndSliders().substr(0, 9 + 4 + 4 + 5), &block);
    EXPECT_EQ(outcome.section, kSectionSliders);
    EXPECT_EQ(block.sliderValue[0], 21);
    EXPECT_EQ(block.sliderValue[1], 99);
    EXPECT_EQ(block.sliderValue[2], 141);
    const FilterParams garbage = GarbageBlock();
    for (int i = 3; i < kSliderCount; ++i) EXPECT_EQ(block.sliderValue[i], garbage.sliderValue[i]);
    // The formula reader never ran: its slots are as they were.
    EXPECT_EQ(memcmp(block.formula, garbage.formula, sizeof block.formula), 0);
}

TEST(SettingsFileFailures, ACutInsideTheFormulasLeavesThePartialSlotAndEmptiesTheLaterOnes) {
    FilterParams block = GarbageBlock();
    // Formula 1 has one whole line, "g\t", and the file ends inside its next.
    const SettingsOutcome outcome = ReadFile(HeaderAndSliders() + "r\r\rg\\t\r+", &block);
    EXPECT_EQ(outcome.status, kSettingsLineUnreadable);
    EXPECT_EQ(outcome.section, kSectionFormulas);
    EXPECT_EQ(outcome.line, 13);
    EXPECT_EQ(block.sliderValue[7], 56);
    EXPECT_STREQ(block.formula[0], "r");
    EXPECT_STREQ(block.formula[1], "g\t");
    EXPECT_STREQ(block.formula[2], "");
    EXPECT_STREQ(block.formula[3], "");
}

TEST(SettingsFileFailures, TheLastLineWithoutItsCarriageReturnFailsOnThatLine) {
    FilterParams block = GarbageBlock();
    const std::string example = WorkedExampleBytes();
    const SettingsOutcome outcome = ReadFile(example.substr(0, example.size() - 1), &block);
    EXPECT_EQ(outcome.status, kSettingsLineUnreadable);
    EXPECT_STREQ(block.formula[2], "");
    EXPECT_STREQ(block.formula[3], "a");  // the line before the missing end
}

// ---------------------------------------------------------------------------
// Writers in order

// The section of a line of a file written by the writers.
int32_t SectionOfLine(int32_t line) {
    return line == 1 ? kSectionHeader : line <= 9 ? kSectionSliders : kSectionFormulas;
}

TEST(SettingsWriters, AFullDiskAtAnyByteStopsTheWritersAtThatLine) {
    FilterParams block = WorkedExampleBlock();
    strcpy(block.formula[2], Pattern(130).c_str());
    const std::string full = WrittenFile(block);
    for (size_t room = 0; room < full.size(); ++room) {
        SettingsOutcome outcome;
        SettingsStream after;
        const std::string bytes = WrittenFile(block, room, &outcome, &after);
        // The byte that did not fit lies on this line; no later line was begun.
        int32_t line = 1;
        for (size_t i = 0; i < room; ++i) line += full[i] == '\r';
        EXPECT_EQ(bytes, full.substr(0, room)) << room;
        EXPECT_EQ(outcome.status, kSettingsShortWrite) << room;
        EXPECT_EQ(outcome.section, SectionOfLine(line)) << room;
        EXPECT_EQ(outcome.line, line) << room;
        EXPECT_EQ(after.line, line) << room;
    }
    SettingsOutcome outcome;
    EXPECT_EQ(WrittenFile(block, full.size(), &outcome), full);
    EXPECT_EQ(outcome.status, kSettingsOk);
}

TEST(SettingsWriters, ValuesOutsideTheRangeAreWrittenAsTheyAreAndClampedOnReading) {
    FilterParams block = WorkedExampleBlock();
    block.sliderValue[0] = -5;
    block.sliderValue[1] = 1000;
    block.sliderValue[2] = -2147483647 - 1;
    const std::string bytes = WrittenFile(block);
    EXPECT_EQ(bytes.substr(9, 4 + 6 + 13),
              "\x02-5\r"
              "\x04"
              "1000\r"
              "\x0b-2147483648\r");
    FilterParams read = GarbageBlock();
    EXPECT_EQ(ReadFile(bytes, &read).status, kSettingsOk);
    EXPECT_EQ(read.sliderValue[0], 0);
    EXPECT_EQ(read.sliderValue[1], 255);
    EXPECT_EQ(read.sliderValue[2], 0);
}

TEST(SettingsWriters, TheDefaultBlockRoundTrips) {
    FilterParams block = GarbageBlock(0);
    const int32_t sliders[kSliderCount] = {21, 99, 141, 67, 54, 16, 130, 56};
    memcpy(block.sliderValue, sliders, sizeof sliders);
    strcpy(block.formula[0],
           "sin((x-scl(cos(y),-511,512,0,Y))*val(4,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(5,0,64))");
    strcpy(block.formula[1],
           "sin((x-scl(cos(y),-511,512,0,Y))*val(2,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(3,0,64))");
    strcpy(block.formula[2], "r\r\n+ 'quoted' \"and\" back\\slash \x01\x7f\x80\xff");
    strcpy(block.formula[3], "a");
    FilterParams read = GarbageBlock();
    EXPECT_EQ(ReadFile(WrittenFile(block), &read).status, kSettingsOk);
    EXPECT_EQ(memcmp(read.sliderValue, block.sliderValue, sizeof block.sliderValue), 0);
    for (int i = 0; i < kFormulaCount; ++i) EXPECT_STREQ(read.formula[i], block.formula[i]) << i;
}

TEST(SettingsOutcome, NamesSectionsAndStatuses) {
    EXPECT_STREQ(SettingsSectionName(kSectionHeader), "header");
    EXPECT_STREQ(SettingsSectionName(kSectionSliders), "sliders");
    EXPECT_STREQ(SettingsSectionName(kSectionFormulas), "formulas");
    EXPECT_STREQ(SettingsSectionName(kSectionNone), "file");
    for (int32_t status = kSettingsOk; status <= kSettingsCannotReplace; ++status)
        EXPECT_STRNE(SettingsStatusText(static_cast<SettingsStatus>(status)), "unknown failure") << status;
}

}  // namespace
