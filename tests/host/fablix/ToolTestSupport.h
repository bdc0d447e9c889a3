// Shared by the tool's suites: running the fablix binary as a user does and
// capturing what it prints.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "MediaTestSupport.h"

struct ToolRun {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// The argument as one word for /bin/sh, whatever bytes it holds.
inline std::string ShellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// Runs fablix with `arguments` in `folder`, standard input empty, after the
// shell command `setup` (a limit, say) when one is given. Output is
// captured outside the folder, so the folder holds only what fablix left.
// A run that hangs is ended after `seconds` (exit code 124).
inline ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& folder,
                       const std::string& setup = "", int seconds = 60) {
    const std::filesystem::path capture =
        std::filesystem::temp_directory_path() / ("fablix-tool-capture-" + std::to_string(long(getpid())));
    std::filesystem::create_directories(capture);
    const std::string out = (capture / "out").string(), err = (capture / "err").string();
    std::string command = "cd " + ShellWord(folder) + (setup.empty() ? "" : " && " + setup) + " && exec timeout -k 5 " +
                          std::to_string(seconds) + " " + ShellWord(FABLIX_PATH);
    for (const std::string& argument : arguments) command += " " + ShellWord(argument);
    command += " </dev/null >" + ShellWord(out) + " 2>" + ShellWord(err);
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadWholeFile(out);
    run.err = ReadWholeFile(err);
    std::error_code ignored;
    std::filesystem::remove_all(capture, ignored);
    return run;
}

inline ToolRun RunTool(const std::vector<std::string>& arguments, const ScratchFolder& folder) {
    return RunTool(arguments, folder.path().string());
}

// True when `text` holds `part`; for EXPECT_PRED2 and readable failures.
inline bool Holds(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The identity formulas: each channel keeps the source's byte.
inline std::vector<std::string> IdentityFormulas() { return {"-b", "b", "-g", "g", "-r", "r", "-a", "a"}; }

// `base` followed by `more`.
inline std::vector<std::string> Joined(std::vector<std::string> base, const std::vector<std::string>& more) {
    base.insert(base.end(), more.begin(), more.end());
    return base;
}
