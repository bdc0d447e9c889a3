// How every command that writes a file puts it in place: a file that
// appears meanwhile is never replaced without -y; -y writes through a link
// and keeps the replaced file's mode; a full disk, a lack of memory or a
// stop signal ends with one line and leaves no temporary; standard output
// that cannot be written is a failure.
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "ExitCodes.h"
#include "MediaResult.h"
#include "Png.h"
#include "TestImage.h"
#include "ToolTestSupport.h"

// A sanitizer reserves terabytes of address space for its shadow memory,
// so under one an address-space limit stops the tool before main().
#if defined(__SANITIZE_ADDRESS__)
#define FABLIX_TOOL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FABLIX_TOOL_SANITIZED 1
#endif
#endif

namespace {

namespace fs = std::filesystem;

// How the child is started: a pause point, an address-space limit, where
// its standard output goes.
struct ChildSetup {
    const char* pauseAt = nullptr;
    rlim_t addressSpace = 0;        // 0: no limit
    rlim_t stack = 0;               // 0: as it is; a thread's stack takes this much address space
    std::string out = "/dev/null";  // empty: standard output closed
};

struct ChildRun {
    bool paused = false;  // the tool reached the pause point
    int exitCode = -1;    // -1: ended by a signal
    std::string err;
};

// Runs fablix with `arguments` in `folder`; when it pauses, runs
// `whilePaused` (given the child) and continues it.
ChildRun RunChild(const std::vector<std::string>& arguments, const ScratchFolder& folder, const ChildSetup& setup,
                  const std::function<void(pid_t)>& whilePaused = nullptr) {
    const std::string err = fs::temp_directory_path() / ("fablix-commit-err-" + std::to_string(long(getpid())));
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.path().c_str()) != 0) _exit(120);
        if (setup.pauseAt != nullptr) setenv("FABLIX_TEST_PAUSE_AT", setup.pauseAt, 1);
        const rlimit stack{setup.stack, setup.stack}, addressSpace{setup.addressSpace, setup.addressSpace};
        if (setup.stack != 0 && setrlimit(RLIMIT_STACK, &stack) != 0) _exit(123);
        if (setup.addressSpace != 0 && setrlimit(RLIMIT_AS, &addressSpace) != 0) _exit(123);
        if (setup.out.empty() ? close(STDOUT_FILENO) != 0 : !freopen(setup.out.c_str(), "w", stdout)) _exit(122);
        if (!freopen(err.c_str(), "w", stderr)) _exit(122);
        std::vector<char*> argv{const_cast<char*>(FABLIX_PATH)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(FABLIX_PATH, argv.data());
        _exit(121);
    }
    ChildRun run;
    int status = 0;
    waitpid(child, &status, setup.pauseAt != nullptr ? WUNTRACED : 0);
    run.paused = WIFSTOPPED(status);
    if (run.paused) {
        if (whilePaused) whilePaused(child);
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.err = ReadWholeFile(err);
    std::error_code ignored;
    fs::remove(err, ignored);
    return run;
}

// The names in `folder` that are temporaries of an output.
std::vector<std::string> Temporaries(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.' || Holds(name, ".part") || Holds(name, ".tmp")) found.push_back(name);
    }
    return found;
}

// A small tmpfs mounted on `folder`, unmounted again when the test ends.
// Mounting must work here: a test that cannot mount fails, it does not skip.
struct SmallDisk {
    fs::path folder;
    bool mounted = false;
    SmallDisk(const fs::path& where, const char* size) : folder(where) {
        fs::create_directories(folder);
        const std::string options = std::string("size=") + size;
        mounted = mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
        EXPECT_TRUE(mounted) << "mount -t tmpfs -o " << options << ": " << std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted) umount2(folder.c_str(), MNT_DETACH);
    }
    // Takes every free block: nothing more can be written.
    void Fill() const {
        std::ofstream filler(folder / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), std::streamsize(block.size()))) {}
    }
};

// in.png, a picture; img.rvp, a plug-in image to build from.
void WriteInputs(const ScratchFolder& folder) {
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), NumberedFrame(16, 12, 0), message), kMediaOk) << message;
    const TestImage image = BuildTestImage(PluginImageLayout(false));
    folder.WriteFile("img.rvp", std::string(image.bytes.begin(), image.bytes.end()));
}

// A command that writes `output`, with or without -y.
struct WriterCase {
    const char* name;
    std::vector<std::string> head;  // before -y and the output
    std::string output;
};

void PrintTo(const WriterCase& c, std::ostream* out) { *out << c.name; }

std::vector<std::string> CommandFor(const WriterCase& c, bool replace, const std::string& output) {
    std::vector<std::string> command = c.head;
    if (replace) command.push_back("-y");
    command.push_back(output);
    return command;
}

const WriterCase kWriters[] = {
    {"RenderStill", {"render", "--quiet", "-r", "255", "in.png"}, "out.png"},
    {"RenderMkv", {"render", "--quiet", "--total", "2", "in.png"}, "out.mkv"},
    {"RenderMp4", {"render", "--quiet", "--total", "2", "in.png"}, "out.mp4"},
    {"Save", {"save", "-r", "255"}, "out.fbl"},
    {"Build", {"build", "--image", "img.rvp"}, "out.rvp"},
};

auto WriterName = [](const testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); };

class Commit : public testing::TestWithParam<WriterCase> {};

TEST_P(Commit, KeepsAFileThatAppearedWhileTheOutputWasWritten) {
    ScratchFolder folder;
    WriteInputs(folder);
    const std::string output = GetParam().output;
    const ChildRun run = RunChild(CommandFor(GetParam(), false, output), folder, {"commit"},
                                  [&](pid_t) { folder.WriteFile(output, "DATA"); });
    ASSERT_TRUE(run.paused);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "fablix: '" + output +
                           "' exists: it appeared while the output was being written, and is "
                           "kept; give -y (--overwrite) to replace it, or choose another name\n");
    EXPECT_EQ(ReadWholeFile(folder / output), "DATA");
    EXPECT_EQ(Temporaries(folder.path()), std::vector<std::string>{});
}

TEST(Commit, OfAPatternKeepsAFrameThatAppearedAndPutsNoOtherFrameInPlace) {
    ScratchFolder folder;
    WriteInputs(folder);
    const ChildRun run = RunChild({"render", "--quiet", "--total", "2", "in.png", "f%d.png"}, folder, {"commit"},
                                  [&](pid_t) { folder.WriteFile("f1.png", "DATA"); });
    ASSERT_TRUE(run.paused);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_PRED2(Holds, run.err, "fablix: 'f1.png' exists: it appeared while the output was being written");
    EXPECT_EQ(ReadWholeFile(folder / "f1.png"), "DATA");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"f1.png", "img.rvp", "in.png"}));
}

TEST_P(Commit, WithOverwriteReplacesTheFileALinkNamesAndKeepsTheLink) {
    ScratchFolder folder;
    WriteInputs(folder);
    fs::create_directory(folder.path() / "real");
    const std::string real = "real/mine" + fs::path(GetParam().output).extension().string();
    folder.WriteFile(real, "old");
    fs::create_symlink(real, folder.path() / GetParam().output);
    const ChildRun run = RunChild(CommandFor(GetParam(), true, GetParam().output), folder, {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_TRUE(fs::is_symlink(folder.path() / GetParam().output));
    EXPECT_EQ(fs::read_symlink(folder.path() / GetParam().output), real);
    EXPECT_NE(ReadWholeFile(folder / real), "old");
    EXPECT_EQ(Temporaries(folder.path()), std::vector<std::string>{});
    EXPECT_EQ(Temporaries(folder.path() / "real"), std::vector<std::string>{});
}

TEST_P(Commit, WithOverwriteKeepsTheModeOfTheReplacedFile) {
    for (const fs::perms mode : {fs::perms(0600), fs::perms(0640)}) {
        ScratchFolder folder;
        WriteInputs(folder);
        folder.WriteFile(GetParam().output, "old");
        fs::permissions(folder.path() / GetParam().output, mode);
        const ChildRun run = RunChild(CommandFor(GetParam(), true, GetParam().output), folder, {});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NE(ReadWholeFile(folder / GetParam().output), "old");
        EXPECT_EQ(fs::status(folder.path() / GetParam().output).permissions(), mode) << int(mode);
    }
}

TEST_P(Commit, OnAFullDiskSaysSoAndLeavesNothing) {
    ScratchFolder folder;
    WriteInputs(folder);
    SmallDisk disk(folder.path() / "disk", "256k");
    ASSERT_TRUE(disk.mounted);
    disk.Fill();
    const ChildRun run = RunChild(CommandFor(GetParam(), false, "disk/" + GetParam().output), folder, {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_PRED2(Holds, run.err, "No space left on device");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(Temporaries(disk.folder), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(disk.folder / GetParam().output));
}

INSTANTIATE_TEST_SUITE_P(Writers, Commit, testing::ValuesIn(kWriters), WriterName);

// save and build stop on the signals a render stops on, at the very point
// where the finished file is about to be moved into place.
struct StopCase {
    const char* name;
    WriterCase writer;
    int signal;
};

void PrintTo(const StopCase& c, std::ostream* out) { *out << c.name; }

class StopBeforeCommit : public testing::TestWithParam<StopCase> {};

TEST_P(StopBeforeCommit, KeepsTheOldFileAndLeavesNoTemporary) {
    ScratchFolder folder;
    WriteInputs(folder);
    const std::string output = GetParam().writer.output;
    folder.WriteFile(output, "old");
    const ChildRun run = RunChild(CommandFor(GetParam().writer, true, output), folder, {"commit"},
                                  [&](pid_t child) { kill(child, GetParam().signal); });
    ASSERT_TRUE(run.paused);
    EXPECT_EQ(run.exitCode, kExitSignalBase + GetParam().signal);
    EXPECT_EQ(run.err, "fablix: interrupted; nothing written\n");
    EXPECT_EQ(ReadWholeFile(folder / output), "old");
    EXPECT_EQ(Temporaries(folder.path()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Cases, StopBeforeCommit,
                         testing::Values(StopCase{"SaveInt", kWriters[3], SIGINT},
                                         StopCase{"SaveTerm", kWriters[3], SIGTERM},
                                         StopCase{"SaveHup", kWriters[3], SIGHUP},
                                         StopCase{"BuildInt", kWriters[4], SIGINT},
                                         StopCase{"BuildTerm", kWriters[4], SIGTERM}),
                         [](const testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

// What a command prints on standard output must arrive: /dev/full or a full
// disk is exit 1 with one line, for output flushed at the end and for
// output written on the way.
struct StdoutCase {
    const char* name;
    std::vector<std::string> arguments;
};

void PrintTo(const StdoutCase& c, std::ostream* out) { *out << c.name; }

class StandardOutput : public testing::TestWithParam<StdoutCase> {};

TEST_P(StandardOutput, ThatCannotBeWrittenIsAFailure) {
    ScratchFolder folder;
    WriteInputs(folder);
    SmallDisk disk(folder.path() / "disk", "64k");
    ASSERT_TRUE(disk.mounted);
    disk.Fill();
    for (const std::string& out : {std::string("/dev/full"), (disk.folder / "res.json").string()}) {
        ChildSetup setup;
        setup.out = out;
        const ChildRun run = RunChild(GetParam().arguments, folder, setup);
        EXPECT_EQ(run.exitCode, 1) << out;
        EXPECT_EQ(run.err, "fablix: cannot write standard output: No space left on device\n") << out;
    }
}

INSTANTIATE_TEST_SUITE_P(Commands, StandardOutput,
                         testing::Values(StdoutCase{"CompileJson", {"compile", "--json"}}, StdoutCase{"Show", {"show"}},
                                         StdoutCase{"Help", {"help"}}, StdoutCase{"Save", {"save", "-y", "out.fbl"}},
                                         StdoutCase{"Build", {"build", "-y", "--image", "img.rvp", "out.rvp"}}),
                         [](const testing::TestParamInfo<StdoutCase>& info) { return std::string(info.param.name); });

TEST(StandardOutput, ClosedIsFineForACommandThatPrintsNothing) {
    ScratchFolder folder;
    WriteInputs(folder);
    ChildSetup closed;
    closed.out = "";
    const ChildRun render = RunChild({"render", "--quiet", "in.png", "out.png"}, folder, closed);
    EXPECT_EQ(render.exitCode, 0) << render.err;
    EXPECT_TRUE(HasPngSignature((folder / "out.png").c_str()));
    const ChildRun show = RunChild({"show"}, folder, closed);
    EXPECT_EQ(show.exitCode, 1);
    EXPECT_EQ(show.err, "fablix: cannot write standard output: Bad file descriptor\n");
}

// A sanitizer's shadow memory does not fit an address-space limit: the
// tests that set one are built without a sanitizer only.
#ifndef FABLIX_TOOL_SANITIZED

// A picture of width x height whose file is small: one colour.
void WriteFlatPng(const std::string& path, int32_t width, int32_t height) {
    Frame frame;
    MakeFrame(frame, width, height);
    std::fill(frame.pixels.begin(), frame.pixels.end(), uint8_t{0x40});
    std::string message;
    ASSERT_EQ(WritePng(path.c_str(), frame, message), kMediaOk) << message;
}

// Out of memory, as an address-space limit makes it: one line, exit 1,
// nothing left, never an abort.
struct MemoryCase {
    const char* name;
    std::vector<std::string> arguments;
    rlim_t addressSpace;
    const char* message;  // what standard error holds (all of it, or for memory a part)
};

void PrintTo(const MemoryCase& c, std::ostream* out) { *out << c.name; }

class OutOfMemory : public testing::TestWithParam<MemoryCase> {};

TEST_P(OutOfMemory, EndsWithOneLineAndLeavesNothing) {
    ScratchFolder folder;
    WriteFlatPng(folder / "8k.png", 7680, 4320);
    WriteFlatPng(folder / "4k.png", 3840, 2160);
    const std::vector<std::string> before = folder.Names();
    ChildSetup setup;
    setup.addressSpace = GetParam().addressSpace;
    const ChildRun run = RunChild(GetParam().arguments, folder, setup);
    EXPECT_EQ(run.exitCode, 1);
    // Which allocation fails first may vary with the threads' timing: ours
    // ("out of memory") or the encoder's ("Cannot allocate memory").
    EXPECT_EQ(run.err.rfind("fablix: ", 0), 0u) << run.err;
    EXPECT_PRED2(Holds, run.err, GetParam().message);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(folder.Names(), before);
}

constexpr rlim_t kMegabyte = rlim_t{1} << 20;

INSTANTIATE_TEST_SUITE_P(
    Cases, OutOfMemory,
    testing::Values(
        MemoryCase{"Still8k",
                   {"render", "--threads", "1", "8k.png", "o.png"},
                   390 * kMegabyte,
                   "fablix: out of memory; nothing written\n"},
        // The clip's temporary exists when the frames' memory runs out.
        MemoryCase{"Clip4kGif",
                   {"render", "--quiet", "--threads", "1", "--total", "8", "4k.png", "o.gif"},
                   390 * kMegabyte,
                   "memory"},
        MemoryCase{"Clip4kMkv", {"render", "--quiet", "--total", "3", "4k.png", "o.mkv"}, 490 * kMegabyte, "memory"},
        MemoryCase{"Clip4kPattern",
                   {"render", "--quiet", "--total", "3", "4k.png", "f%d.png"},
                   250 * kMegabyte,
                   "out of memory"}),
    [](const testing::TestParamInfo<MemoryCase>& info) { return std::string(info.param.name); });

// No thread can start when a thread's stack would take more address space
// than the limit leaves: the render ends with one line and leaves nothing.
class OutOfThreads : public testing::TestWithParam<MemoryCase> {};

constexpr const char* kNoThread =
    "fablix: out of threads: the system would not start another (Resource temporarily unavailable)\n";

TEST_P(OutOfThreads, EndsWithOneLineAndLeavesNothing) {
    ScratchFolder folder;
    WriteInputs(folder);
    const std::vector<std::string> before = folder.Names();
    ChildSetup setup;
    setup.stack = rlim_t{2} << 30;
    setup.addressSpace = GetParam().addressSpace;
    const ChildRun run = RunChild(GetParam().arguments, folder, setup);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, GetParam().message);
    EXPECT_EQ(folder.Names(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutOfThreads,
    testing::Values(MemoryCase{"Mkv",
                               {"render", "--quiet", "--threads", "2", "--total", "3", "in.png", "o.mkv"},
                               1500 * kMegabyte,
                               kNoThread},
                    MemoryCase{"Pattern",
                               {"render", "--quiet", "--threads", "2", "--total", "3", "in.png", "f%d.png"},
                               1500 * kMegabyte,
                               kNoThread},
                    MemoryCase{"StillInBands",
                               {"render", "--threads", "2", "-r", "x", "in.png", "o.png"},
                               1500 * kMegabyte,
                               "fablix: out of memory or threads: the system refused a thread; nothing written\n"}),
    [](const testing::TestParamInfo<MemoryCase>& info) { return std::string(info.param.name); });

#endif  // FABLIX_TOOL_SANITIZED

int32_t UsableCores() {
    cpu_set_t allowed;
    return sched_getaffinity(0, sizeof allowed, &allowed) == 0 ? CPU_COUNT(&allowed) : 1;
}

TEST(Threads, BeyondTheCoresAreLoweredWithAWarning) {
    ScratchFolder folder;
    WriteInputs(folder);
    const ChildRun run = RunChild({"render", "--threads", "256", "in.png", "out.png"}, folder, {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "fablix: warning: --threads 256 is lowered to " + std::to_string(UsableCores()) +
                           ": the cores this process may use\n");
    EXPECT_TRUE(HasPngSignature((folder / "out.png").c_str()));
}

#ifndef FABLIX_TOOL_SANITIZED
TEST(Threads, ThatTheMemoryCannotHoldAreLoweredWithAWarning) {
    ScratchFolder folder;
    WriteFlatPng(folder / "8k.png", 7680, 4320);
    ChildSetup setup;
    setup.addressSpace = 700 * kMegabyte;
    const ChildRun run = RunChild({"render", "--threads", "2", "8k.png", "out.png"}, folder, setup);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string why = UsableCores() >= 2 ? "the memory left for frames of 7680 x 4320" : "the cores";
    EXPECT_PRED2(Holds, run.err, "fablix: warning: --threads 2 is lowered to 1: " + why);
    EXPECT_TRUE(HasPngSignature((folder / "out.png").c_str()));
}
#endif

TEST(Save, TakesTheLongestFileName) {
    ScratchFolder folder;
    const std::string name = std::string(251, 'n') + ".fbl";  // 255 bytes, the most a name may have
    const ChildRun run = RunChild({"save", name}, folder, {});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
    // One byte more is refused for what it is.
    const std::string longer = "n" + name;
    const ChildRun refused = RunChild({"save", longer}, folder, {});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "fablix: cannot write '" + longer + "': File name too long\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
}

}  // namespace
