// Outputs are written under a temporary name in their own folder and moved
// into place only when complete, so a failed or interrupted write never
// leaves a half-written file under the name the user asked for. Every
// command that writes a file commits it here, so the rules hold for all:
// - without `replace`, an existing name is never replaced, not even by a
//   file that appeared while the output was being written;
// - with `replace`, a link is written through: the file it names is
//   replaced (staged beside that file), the link stays, and the replaced
//   file keeps its mode;
// - a temporary never outlives a failure, a stop signal or running out of
//   memory.
#pragma once

#include <cstdint>
#include <string>

#include "MediaResult.h"

// Where an output is written and the name it takes.
struct StagedOutput {
    std::string name;       // as the user gave it, for messages
    std::string target;     // the file that takes the output: the name, or the file its link names
    std::string temporary;  // beside the target
    bool replace = false;   // an existing target may be replaced
};

// The staging of `name`: with `replace`, a link is followed to the file it
// names.
StagedOutput StageOutput(const std::string& name, bool replace);

// Moves the finished temporary to the target: kMediaOk, or kMediaCannotWrite
// with the message and the temporary removed ("'x' exists; ..." when the
// name was taken meanwhile and may not be replaced).
MediaCode CommitOutput(const StagedOutput& output, std::string& message);

// A hidden name beside `path`, unique to this process and call. The folder
// is noted, so that RemoveTemporariesOfThisProcess finds what was made there.
std::string TemporaryNameFor(const std::string& path);

// Removes a temporary (or an output being undone); a missing file is fine.
void DiscardOutput(const std::string& file);

// Removes every temporary this process named in the folder it named one in
// last. Safe where memory has run out: it allocates nothing.
void RemoveTemporariesOfThisProcess();

// "cannot write 'path': reason" and friends, one line each.
std::string CannotWriteMessage(const std::string& path, const std::string& reason);
std::string CannotOpenMessage(const std::string& path, const std::string& reason);

// The operating system's text for an errno value.
std::string ErrnoText(int error);
