// What the builder needs of the platform, as one record of functions that
// the caller fills (core's PlatformBuilderPorts gives the platform's own).
// A record rather than direct calls, so that the command-line tool can
// show the messages its own way and tests can make any step fail.
#pragma once

#include <cstddef>
#include <cstdint>

// A copy handle the platform opened; kNoPortHandle when none.
using PortHandle = intptr_t;
constexpr PortHandle kNoPortHandle = -1;

// A whole file mapped for reading and writing.
struct WritableFile {
    uint8_t* bytes;      // the file's first byte; nullptr when nothing is mapped
    int64_t size;
    intptr_t system[2];  // the platform's handles of the file and the mapping
};

struct BuilderPorts {
    // The path of the plug-in's own file, terminated: its length, or -1
    // when it cannot be had or does not fit `capacity`.
    int32_t (*ownFilePath)(char* buffer, int32_t capacity);
    // True when a module of this name is loaded in the process.
    bool (*isModuleLoaded)(const char* name);

    // The copy: create the target empty (replacing a file there), open the
    // source for reading, copy all of the source into the target (0 on
    // success), close either handle.
    PortHandle (*createCopyTarget)(const char* path);
    PortHandle (*openCopySource)(const char* path);
    int32_t (*copyAll)(PortHandle source, PortHandle target);
    void (*closeCopyHandle)(PortHandle handle);

    // One writable mapping of a whole file: opens the file for reading and
    // writing and maps all of it (false, with nothing left open, when any of
    // that fails; an empty file cannot be mapped). Unmapping writes the
    // changes back and closes; false when they may not all have arrived.
    bool (*mapWritable)(const char* path, WritableFile* file);
    bool (*unmapWritable)(WritableFile* file);

    // String `id` of the string table, cut to capacity - 1 characters and
    // terminated; the characters copied, or a negative code.
    int32_t (*loadString)(int32_t id, char* buffer, int32_t capacity);
    // The error box (error icon, one OK button) and the information box,
    // both owned by the host's active window.
    void (*showError)(const char* caption, const char* text);
    void (*showInformation)(const char* caption, const char* text);
};
