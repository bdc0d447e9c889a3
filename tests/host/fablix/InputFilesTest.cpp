// What the tool reads: bounded reads of formula and settings files, the
// notes on what a settings file's rules changed, messages that name the
// real cause, "--" before names that start with "-", and animated PNGs.
#include <zlib.h>

#include <algorithm>

#include "ClipReader.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// Memory for a run that must not grow: well above what the tool needs to
// start, far below what reading a device to its end takes. The sanitizer
// reserves terabytes of address space for itself, so under it the limit is
// on resident memory, which it enforces itself.
constexpr int kAddressSpaceKiB = 500000;
constexpr int kSanitizerResidentMiB = 800;

std::string MemoryLimitCommand() {
    if (kAddressSanitizer)
        return "export ASAN_OPTIONS=\"${ASAN_OPTIONS}:hard_rss_limit_mb=" + std::to_string(kSanitizerResidentMiB) +
               "\"";
    return "ulimit -v " + std::to_string(kAddressSpaceKiB);
}

// RunTool's run under a limit on memory, ended after 20 s.
ToolRun RunToolWithin(const std::vector<std::string>& arguments, const ScratchFolder& folder) {
    return RunTool(arguments, folder.path().string(), MemoryLimitCommand(), 20);
}

const std::string kHeader = "%RGB-1.0\r";
// Eight slider lines of the values 1 to 8.
const std::string kSliders =
    "\x01"
    "1\r\x01"
    "2\r\x01"
    "3\r\x01"
    "4\r\x01"
    "5\r\x01"
    "6\r\x01"
    "7\r\x01"
    "8\r";

// ---------------------------------------------------------------------------
// Bounded reads

struct BoundCase {
    const char* name;
    std::vector<std::string> arguments;  // {} in a path: the case's file
    std::string message;                 // the whole of standard error
};

TEST(BoundedReads, DevicesAndHugeFilesAreRefusedWithoutGrowing) {
    ScratchFolder folder;
    {
        std::ofstream huge(folder / "huge.txt", std::ios::binary);
        const std::string block(1 << 20, '7');
        for (int i = 0; i < 50; ++i) huge << block;
    }
    folder.WriteFile("huge.fbl", kHeader + kSliders + std::string(3 << 20, 'a') + "\r\r\r\r\r");
    const std::string dotDotDot = " holds more than 1023 bytes; a formula holds at most 1023\n";
    const BoundCase cases[] = {
        {"zero device as formula file",
         {"compile", "--formula-file", "r=/dev/zero"},
         "fablix: formula file '/dev/zero'" + dotDotDot},
        {"huge formula file", {"show", "--formula-file", "g=huge.txt"}, "fablix: formula file 'huge.txt'" + dotDotDot},
        {"zero device as settings",
         {"compile", "--settings", "/dev/zero"},
         "fablix: cannot read settings file '/dev/zero': header section, line 1: the first line is not "
         "\"%RGB-1.0\"\n"},
        {"huge settings file",
         {"save", "--settings", "huge.fbl", "out.fbl"},
         "fablix: cannot read settings file 'huge.fbl': formulas section, line 10: the file goes on past 1 MiB, "
         "far longer than any settings file\n"},
    };
    for (const BoundCase& c : cases) {
        const ToolRun run = RunToolWithin(c.arguments, folder);
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_EQ(run.err, c.message) << c.name;
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"huge.fbl", "huge.txt"}));
}

// ---------------------------------------------------------------------------
// Notes on what a settings file's rules changed

// Line i of 55 characters of a formula "b" and blanks.
std::string BlankLine(int i) { return (i == 0 ? "b" : " ") + std::string(54, ' '); }

// Slider 0 "999", slider 1 without digits, slider 2 "-5", formula 0 of
// 1100 characters in lines of 55 (the 18 lines that fit whole: 990
// characters), then "g", "r" and "a".
std::string ChangedFile() {
    std::string file = kHeader +
                       "\x03"
                       "999\r\x01"
                       "abc\r\x02"
                       "-5\r\x01"
                       "4\r\x01"
                       "5\r\x01"
                       "6\r\x01"
                       "7\r\x01"
                       "8\r";
    for (int i = 0; i < 20; ++i) file += BlankLine(i) + "\r";
    return file + "\rg\r\rr\r\ra\r\r";
}

const std::string kChangedNote =
    "fablix: note: settings file 'changed.fbl': slider 0: '999' read as 255; slider 1: 'abc' holds no number, "
    "read as 0; slider 2: '-5' read as 0; formula 0 cut to 990 bytes (the file holds 1100; a formula holds at "
    "most 1023)\n";

TEST(SettingsNotes, EveryCommandSaysOnceWhatTheFileSRulesChanged) {
    ScratchFolder folder;
    folder.WriteFile("changed.fbl", ChangedFile());
    const std::vector<std::vector<std::string>> commands = {
        {"compile", "--settings", "changed.fbl"},
        {"show", "--settings", "changed.fbl"},
        {"render", "--settings", "changed.fbl", "out.png"},
        {"render", "--settings", "changed.fbl", "--frames", "0:1", "--quiet", "out.mkv"},
    };
    for (const auto& command : commands) {
        const ToolRun run = RunTool(command, folder);
        EXPECT_EQ(run.exitCode, 0) << command[0] << run.err;
        EXPECT_EQ(run.err, kChangedNote) << command[0];
    }
}

TEST(SettingsNotes, SaveSaysThatItKeepsTheCutUnlessAnEditReplacesTheFormula) {
    ScratchFolder folder;
    folder.WriteFile("changed.fbl", ChangedFile());
    const ToolRun cut = RunTool({"save", "--settings", "changed.fbl", "cut.fbl"}, folder);
    EXPECT_EQ(cut.exitCode, 0) << cut.err;
    EXPECT_EQ(cut.err, kChangedNote +
                           "fablix: note: formula 0 is saved as cut on reading 'changed.fbl': 990 bytes "
                           "of its 1100\n");
    const ToolRun replaced = RunTool({"save", "--settings", "changed.fbl", "-b", "x", "replaced.fbl"}, folder);
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_EQ(replaced.err, kChangedNote);
    // The saved file holds the values as read, which read back without a note.
    const ToolRun again = RunTool({"show", "--settings", "cut.fbl"}, folder);
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.err, "");
    std::string kept;
    for (int i = 0; i < 18; ++i) kept += BlankLine(i);
    EXPECT_TRUE(Holds(again.out, "  B (0): " + kept + "\n")) << again.out;
    EXPECT_TRUE(Holds(again.out, "sliders: 0=255 1=0 2=0 3=4")) << again.out;
}

TEST(SettingsNotes, AFileThatTheRulesDoNotChangeGivesNone) {
    ScratchFolder folder;
    folder.WriteFile("plain.fbl", kHeader + kSliders + "r\r\rg\r\rb\r\ra\r\r");
    const ToolRun run = RunTool({"show", "--settings", "plain.fbl"}, folder);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
}

// ---------------------------------------------------------------------------
// Messages that name the real cause

TEST(InputMessages, SettingsLinesAreCountedAsAnEditorCountsThem) {
    ScratchFolder folder;
    // Twelve lines; the eleventh is 100000 bytes long and the file ends
    // inside formula 1.
    folder.WriteFile("long.fbl", kHeader + kSliders + "r\r" + std::string(100000, 'x') + "\r\rg\r");
    const ToolRun run = RunTool({"show", "--settings", "long.fbl"}, folder);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "fablix: cannot read settings file 'long.fbl': formulas section, line 14: the file ends (or "
              "cannot be read) before the line does\n");
}

struct LineFeedCase {
    const char* name;
    std::string formulas;
    int line;  // of the line feed
};

TEST(InputMessages, ALineFeedWhereAFormulaEndsIsNamedAsTheCause) {
    const LineFeedCase cases[] = {
        {"instead of an empty line", "r\r\n\rg\r\rb\r\ra\r\r", 11},
        {"after the last carriage return", "r\r\rg\r\rb\r\ra\r\n", 17},
    };
    for (const LineFeedCase& c : cases) {
        ScratchFolder folder;
        folder.WriteFile("lf.fbl", kHeader + kSliders + c.formulas);
        const ToolRun run = RunTool({"compile", "--settings", "lf.fbl"}, folder);
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_TRUE(Holds(run.err, "the file ends before the fourth formula does: line " + std::to_string(c.line) +
                                       " holds a line feed alone, which is formula text, not the empty line that "
                                       "ends a formula (a settings file's lines end in a carriage return alone)\n"))
            << c.name << ": " << run.err;
    }
}

// A small picture, the same under every name.
void WritePicture(const std::string& path) {
    std::string message;
    ASSERT_EQ(WritePng(path.c_str(), NumberedFrame(6, 4, 0), message), kMediaOk) << message;
}

TEST(InputMessages, AFileReallyNamedWithAPercentSignIsReadAsItself) {
    ScratchFolder folder;
    WritePicture(folder / "a%d.png");
    WritePicture(folder / "plain.png");
    const ToolRun odd = RunTool(Joined({"render"}, Joined(IdentityFormulas(), {"a%d.png", "odd.png"})), folder);
    EXPECT_EQ(odd.exitCode, 0) << odd.err;
    const ToolRun plain =
        RunTool(Joined({"render"}, Joined(IdentityFormulas(), {"plain.png", "plain-out.png"})), folder);
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(ReadWholeFile(folder / "odd.png"), ReadWholeFile(folder / "plain-out.png"));
    // With no such file the name is a frame number pattern, as before.
    const ToolRun pattern = RunTool({"render", "f%d.png", "--frames", "0:0", "--quiet", "out.mkv"}, folder);
    EXPECT_EQ(pattern.exitCode, 1);
    EXPECT_TRUE(Holds(pattern.err, "'f%d.png'")) << pattern.err;
}

// ---------------------------------------------------------------------------
// "--" ends the options

TEST(OptionsEnd, NamesAfterItMayStartWithADash) {
    ScratchFolder folder;
    WritePicture(folder / "-x.png");
    const ToolRun render = RunTool(Joined({"render"}, Joined(IdentityFormulas(), {"--", "-x.png", "-y.png"})), folder);
    EXPECT_EQ(render.exitCode, 0) << render.err;
    EXPECT_EQ(ReadWholeFile(folder / "-y.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
    const ToolRun save = RunTool({"save", "-r", "1", "--", "-s.fbl"}, folder);
    EXPECT_EQ(save.exitCode, 0) << save.err;
    const ToolRun show = RunTool({"show", "--settings", "-s.fbl", "--"}, folder);
    EXPECT_EQ(show.exitCode, 0) << show.err;
    EXPECT_TRUE(Holds(show.out, "  R (2): 1\n")) << show.out;
    // Before "--" such a name is still an unknown option, and options after it are names.
    EXPECT_EQ(RunTool({"render", "-x.png", "out.png"}, folder).err, "fablix: unknown option '-x.png'\n");
    EXPECT_EQ(RunTool({"save", "--", "-r", "1"}, folder).err,
              "fablix: unexpected argument '1'; save wants one OUTPUT.fbl\n");
    EXPECT_EQ(RunTool({"compile", "--", "-r"}, folder).err, "fablix: unexpected argument '-r'\n");
    EXPECT_EQ(RunTool({"bench", "--", "-r"}, folder).err, "fablix: bench takes no files: '-r'\n");
}

// ---------------------------------------------------------------------------
// Animated PNG

std::string BigEndian32(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string Chunk(const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()));
    return BigEndian32(uint32_t(data.size())) + body + BigEndian32(uint32_t(crc));
}

// The chunks of a PNG file, in order: type and data.
std::vector<std::pair<std::string, std::string>> ChunksOf(const std::string& png) {
    std::vector<std::pair<std::string, std::string>> chunks;
    for (size_t at = 8; at + 12 <= png.size();) {
        const auto byte = [&](size_t i) { return uint32_t(uint8_t(png[at + i])); };
        const uint32_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        chunks.emplace_back(png.substr(at + 4, 4), png.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

// An animated PNG of the frames at 10 fps, frame 0 its default image: each
// frame's image data from a PNG of its own, in fcTL and fdAT chunks.
std::string AnimatedPng(const std::vector<Frame>& frames, const ScratchFolder& folder) {
    std::string file = "\x89PNG\r\n\x1a\n";
    uint32_t sequence = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        std::string message;
        EXPECT_EQ(WritePng((folder / "one.png").c_str(), frames[i], message), kMediaOk) << message;
        const auto chunks = ChunksOf(ReadWholeFile(folder / "one.png"));
        std::filesystem::remove(folder / "one.png");
        if (i == 0)
            file +=
                Chunk("IHDR", chunks[0].second) + Chunk("acTL", BigEndian32(uint32_t(frames.size())) + BigEndian32(0));
        const std::string size = BigEndian32(uint32_t(frames[i].width)) + BigEndian32(uint32_t(frames[i].height));
        file += Chunk("fcTL", BigEndian32(sequence++) + size + BigEndian32(0) + BigEndian32(0) +
                                  std::string("\0\x01\0\x0a\0\0", 6));
        for (const auto& [type, data] : chunks) {
            if (type != "IDAT") continue;
            file += i == 0 ? Chunk("IDAT", data) : Chunk("fdAT", BigEndian32(sequence++) + data);
        }
    }
    return file + Chunk("IEND", "");
}

TEST(AnimatedPng, IsReadAsAClipOfItsFrames) {
    ScratchFolder folder;
    const std::vector<Frame> frames = {NumberedFrame(6, 4, 0), NumberedFrame(6, 4, 1), NumberedFrame(6, 4, 2)};
    folder.WriteFile("anim.png", AnimatedPng(frames, folder));
    const ToolRun clip =
        RunTool(Joined({"render"}, Joined(IdentityFormulas(), {"--quiet", "anim.png", "out.mkv"})), folder);
    ASSERT_EQ(clip.exitCode, 0) << clip.err;
    ClipReader reader;
    std::string message;
    ASSERT_EQ(OpenClipReader(reader, (folder / "out.mkv").c_str(), message), kMediaOk) << message;
    ASSERT_EQ(reader.frameCount, 3);
    for (int32_t i = 0; i < 3; ++i) {
        Frame frame;
        ASSERT_EQ(ReadClipFrame(reader, i, frame, message), kMediaOk) << message;
        for (int32_t y = 0; y < 4; ++y)
            for (int32_t x = 0; x < 6; ++x)
                EXPECT_EQ(PixelAt(frame, x, y), PixelAt(frames[size_t(i)], x, y)) << i << ": " << x << "," << y;
    }
    CloseClipReader(reader);
    // One picture out of it wants the frame to take, as any clip does.
    const ToolRun still = RunTool({"render", "anim.png", "out.png"}, folder);
    EXPECT_EQ(still.exitCode, 2);
    EXPECT_TRUE(Holds(still.err, "the clip has 3 frames: give --time T")) << still.err;
    const ToolRun second =
        RunTool(Joined({"render", "--time", "2"}, Joined(IdentityFormulas(), {"anim.png", "t2.png"})), folder);
    EXPECT_EQ(second.exitCode, 0) << second.err;
    Frame picture;
    ASSERT_EQ(ReadPng((folder / "t2.png").c_str(), picture, message), kMediaOk) << message;
    EXPECT_EQ(PixelAt(picture, 5, 3), PixelAt(frames[2], 5, 3));
}

}  // namespace
