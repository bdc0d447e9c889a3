// Outputs are written under a temporary name in their own folder and renamed
// into place only when complete, so a failed or interrupted write never
// leaves a half-written file under the name the user asked for (and never
// clobbers an older file of that name).
#pragma once

#include <cstdint>
#include <string>

// A hidden name beside `path`, unique to this process and call.
std::string TemporaryNameFor(const std::string& path);

// Moves the finished `temporary` over `path`. On failure the temporary is
// removed and kMediaCannotWrite returned with the message.
int32_t CommitOutput(const std::string& temporary, const std::string& path,
                     std::string& message);

// Removes a temporary (or an output being undone); a missing file is fine.
void DiscardOutput(const std::string& file);

// "cannot write 'path': reason" and friends, one line each.
std::string CannotWriteMessage(const std::string& path, const std::string& reason);
std::string CannotOpenMessage(const std::string& path, const std::string& reason);

// The operating system's text for an errno value.
std::string ErrnoText(int error);
