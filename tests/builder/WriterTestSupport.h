// The writer's tests: a folder that stands for the plug-in's folder, the
// platform's services with the plug-in's own path pointing into it, message
// boxes recorded instead of shown, and any step made to fail on demand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "FilterParams.h"
#include "Services.h"

// The step a test makes fail.
enum class FailingStep {
    kNone,
    kCreateTarget,
    kOpenSource,
    kCopy,
    kMapTarget,    // opening the target for reading and writing, or mapping it
    kUnmapTarget,  // the changes may not have reached the file
};

struct ShownMessage {
    bool error;  // the error box; otherwise the information box
    std::string caption;
    std::string text;
};

// Services over the platform's own, with the plug-in's file at `ownPath`.
// Messages go to Messages(); `failing` fails once reached.
Services RecordingPorts(const std::string& ownPath, FailingStep failing = FailingStep::kNone);
std::vector<ShownMessage>& Messages();
// Handles the services opened and did not close yet.
int32_t OpenPortHandles();

// A new empty folder under the system's temporary folder, removed by the
// destructor.
struct TemporaryFolder {
    TemporaryFolder();
    ~TemporaryFolder();
    std::string path;  // ends in '/'
};

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
bool FileExists(const std::string& path);

// The string-table text `id`, with its "%s" replaced by `argument`.
std::string MessageText(int32_t id, const std::string& argument = "");

// A block with every byte set, so that a byte the writer loses shows.
FilterParams PatternBlock(const char* title, const char* moduleName, int32_t hasControls);
