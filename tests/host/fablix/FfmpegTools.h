// FFmpeg's command-line tools beside fablix in the tool's suites: clips made
// with ffmpeg, read back with ffprobe, and shell pipelines around fablix.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "ToolTestSupport.h"

// Runs a shell command in `folder`; its standard output, and whether it
// exited 0.
inline std::string Shell(const std::string& command, const ScratchFolder& folder, bool* ok = nullptr) {
    std::string output;
    FILE* pipe = popen(("cd " + ShellWord(folder.path().string()) + " && " + command).c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    const int status = pclose(pipe);
    if (ok) *ok = status == 0;
    return output;
}

// Makes a clip with ffmpeg; fails the test when it cannot.
inline void MakeClip(const std::string& arguments, const ScratchFolder& folder) {
    bool ok = false;
    Shell("ffmpeg -nostdin -v error -y " + arguments, folder, &ok);
    ASSERT_TRUE(ok) << "ffmpeg " << arguments;
}

// ffprobe's answer for `entries` of `file`, one value per line.
inline std::vector<std::string> Probe(const std::string& file, const std::string& entries, const ScratchFolder& folder,
                                      const std::string& more = "") {
    std::istringstream lines(
        Shell("ffprobe -v error " + more + " -show_entries " + entries + " -of csv=p=0 " + ShellWord(file), folder));
    std::vector<std::string> values;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) values.push_back(line);
    return values;
}

inline double ProbeSeconds(const std::string& file, const std::string& entries, const ScratchFolder& folder) {
    const std::vector<std::string> values = Probe(file, entries, folder);
    return values.empty() ? -1 : std::atof(values[0].c_str());
}
