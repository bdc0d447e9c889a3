// A render stopped by SIGINT, SIGTERM or SIGHUP at a point the test picks:
// the tool pauses itself there (FABLIX_TEST_PAUSE_AT), the test sends the
// signal and lets it go on. An interrupt before the output is in place
// wins: the existing file stays, nothing else is left, the exit code is
// 128 + the signal.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ClipWriter.h"
#include "ExitCodes.h"
#include "MediaResult.h"
#include "Png.h"
#include "ToolTestSupport.h"

namespace {

struct SignalRun {
    bool paused = false;  // the tool reached the point
    int exitCode = -1;
};

// Runs fablix with `arguments` in `folder` until it pauses at `point`, sends
// `signal`, continues it and waits for its end.
SignalRun RunAndSignalAt(const std::vector<std::string>& arguments, const ScratchFolder& folder, const char* point,
                         int signal) {
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder.path().c_str()) != 0) _exit(120);
        setenv("FABLIX_TEST_PAUSE_AT", point, 1);
        if (!freopen("/dev/null", "w", stderr)) _exit(122);
        std::vector<char*> argv{const_cast<char*>(FABLIX_PATH)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(FABLIX_PATH, argv.data());
        _exit(121);
    }
    SignalRun run;
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    run.paused = WIFSTOPPED(status);
    if (run.paused) {
        kill(child, signal);
        kill(child, SIGCONT);
        waitpid(child, &status, 0);
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

struct InterruptCase {
    const char* name;
    std::vector<std::string> arguments;  // after "render --quiet -y"
    const char* point;
    int signal;
};

void PrintTo(const InterruptCase& c, std::ostream* out) { *out << c.name; }

class Interrupt : public testing::TestWithParam<InterruptCase> {};

TEST_P(Interrupt, KeepsTheExistingOutputAndLeavesNothingElse) {
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), NumberedFrame(64, 48, 0), message), kMediaOk) << message;
    for (const char* name : {"out.png", "out.mkv", "out.mp4", "f00.png"}) folder.WriteFile(name, "old");
    const std::vector<std::string> before = folder.Names();
    const SignalRun run = RunAndSignalAt(Joined({"render", "--quiet", "-y"}, GetParam().arguments), folder,
                                         GetParam().point, GetParam().signal);
    ASSERT_TRUE(run.paused);
    EXPECT_EQ(run.exitCode, kExitSignalBase + GetParam().signal);
    EXPECT_EQ(folder.Names(), before);
    for (const char* name : {"out.png", "out.mkv", "out.mp4", "f00.png"})
        EXPECT_EQ(ReadWholeFile(folder / name), "old");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Interrupt,
    testing::Values(
        InterruptCase{"StillIntBeforeTheRename", {"-r", "255", "in.png", "out.png"}, "commit", SIGINT},
        InterruptCase{"StillTermBeforeTheRename", {"-r", "255", "in.png", "out.png"}, "commit", SIGTERM},
        InterruptCase{"StillHupBeforeTheRename", {"-r", "255", "in.png", "out.png"}, "commit", SIGHUP},
        InterruptCase{"ClipTermBeforeTheRename", {"--total", "3", "in.png", "out.mkv"}, "commit", SIGTERM},
        InterruptCase{"Mp4IntBeforeTheRename", {"--total", "3", "in.png", "out.mp4"}, "commit", SIGINT},
        InterruptCase{"PatternIntBeforeTheRenames", {"--total", "3", "in.png", "f%02d.png"}, "commit", SIGINT},
        InterruptCase{"ClipHupAfterTheFirstFrame", {"--total", "50", "in.png", "out.mkv"}, "frame", SIGHUP},
        InterruptCase{"Mp4TermAfterTheFirstFrame", {"--total", "50", "in.png", "out.mp4"}, "frame", SIGTERM},
        InterruptCase{"PatternHupAfterTheFirstFrame", {"--total", "50", "in.png", "f%02d.png"}, "frame", SIGHUP}),
    [](const testing::TestParamInfo<InterruptCase>& info) { return std::string(info.param.name); });

TEST(Interrupt, ThatComesAfterTheOutputIsInPlaceChangesNothing) {
    // The pause point "commit" is reached, and a signal that is not a stop
    // request leaves the render to finish: the pause itself costs nothing.
    ScratchFolder folder;
    std::string message;
    ASSERT_EQ(WritePng((folder / "in.png").c_str(), NumberedFrame(8, 8, 0), message), kMediaOk) << message;
    const SignalRun run = RunAndSignalAt({"render", "-r", "255", "in.png", "out.png"}, folder, "commit", SIGCONT);
    ASSERT_TRUE(run.paused);
    EXPECT_EQ(run.exitCode, 0);
    Frame out;
    ASSERT_EQ(ReadPng((folder / "out.png").c_str(), out, message), kMediaOk) << message;
    EXPECT_EQ(PixelAt(out, 3, 3)[2], 255);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "out.png"}));
}

}  // namespace
