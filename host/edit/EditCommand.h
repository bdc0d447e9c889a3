// fablix edit [INPUT] [--settings FILE.fbl] [--port N] [--no-browser]
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How the editor ended, as the tool's exit codes say it.
enum EditOutcome : int32_t {
    kEditStopped = 0,   // stopped by Ctrl-C or a termination signal, after serving
    kEditFailed = 1,    // the input, the port or the server failed; the message is printed
    kEditBadUsage = 2,  // bad arguments or settings file; the message is printed
};

// Serves the editor until a stop signal. The first line of standard output
// is the page's address with its token.
EditOutcome RunEditor(const std::vector<std::string>& arguments);

constexpr const char* kEditUsage = "edit [INPUT] [--settings FILE.fbl] [--port N] [--no-browser]";
