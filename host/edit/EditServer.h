// The editor's HTTP server: one page and the endpoints it calls, on
// 127.0.0.1 only, every request checked for the session's token and for a
// Host header of this machine (so that a page of another site, even under a
// name that resolves here, can neither read nor change anything).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "FilterParams.h"

struct EditorConfig {
    std::string input;         // the clip or still; "" for the built-in test clip
    std::string settingsPath;  // the settings file the user named; "" for none
    std::string toolPath;      // the fablix program, which builds plug-ins as `fablix build` does
    std::string frei0rFolder;  // where a frei0r plug-in is installed (~/.frei0r-1/lib)
    std::string token;         // the secret every request carries
};

struct EditServerParts;

struct EditServer {
    std::unique_ptr<EditServerParts> parts;
    int32_t port = 0;
    EditServer();
    ~EditServer();
};

// Opens the input, starts the session over `params` and binds 127.0.0.1 on
// `port` (0: a free one, then in server.port). False with `message` when
// the input cannot be read or the port cannot be had.
bool StartEditServer(EditServer& server, const EditorConfig& config, const FilterParams& params, int32_t port,
                     std::string& message);

// Serves requests until StopEditServer; false when serving failed.
bool RunEditServer(EditServer& server);

// Makes RunEditServer return, from any thread but a signal handler.
void StopEditServer(EditServer& server);

// 32 hexadecimal digits from the system's random source; "" when it has none.
std::string MakeToken();
