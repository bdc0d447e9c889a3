// What the editor server's parts share: the server, the session and the
// frames with their locks, and the helpers of the answers.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "EditServer.h"
#include "EditorFrames.h"
#include "EditorSession.h"

struct EditServerParts {
    EditorConfig config;
    httplib::Server http;
    std::mutex sessionLock;  // the session; taken alone, or inside frameLock
    EditorSession session;
    std::mutex frameLock;
    EditorFrames frames;  // under frameLock; the input's size and last frame, fixed, are also below
    int32_t width = 0, height = 0, last = 0;
    uint64_t scratchCount = 0;  // under sessionLock
};

// An answer of `status` with a JSON body; an error's body is {"error": ...}.
void Reply(httplib::Response& response, int status, const nlohmann::json& body);
void Refuse(httplib::Response& response, int status, const std::string& message);

// The body as a JSON object, or a 400 answer saying why not.
bool ParseBody(const httplib::Request& request, httplib::Response& response, nlohmann::json& body);

// body[key] as a text, or a 400 answer.
bool TakeString(const nlohmann::json& body, const char* key, std::string& value, httplib::Response& response);

// body[key] is true.
bool Flag(const nlohmann::json& body, const char* key);

// A name for a scratch file of this process in the system's temporary
// folder; the caller holds the session lock.
std::string ScratchName(EditServerParts& parts, const char* what);
std::string ReadWhole(const std::string& path);
void RemoveScratch(const std::string& path);

// A POST route whose body is a JSON object, its handler run under the
// session lock.
void PostJson(EditServerParts& parts, const char* path,
              void (*handler)(EditServerParts&, const nlohmann::json&, httplib::Response&));

// The build routes: the dialog's fields and boxes, and the build.
void SetBuildRoutes(EditServerParts& parts);
