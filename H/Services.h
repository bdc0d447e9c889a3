// The services of the platform that the dialogs and the builder share: the
// user's boxes, the string table, the plug-in's own file and the modules
// beside it, the build dialog, and the copy and mapping of plug-in files.
// One record of functions, filled once by platform/ (PlatformServices), so
// that ui/ and builder/ reach no platform header; the command-line tool and
// the tests replace entries to show messages their own way or make any
// step fail. The record holds no state.
#pragma once

#include <cstdint>

#include "ReelInfo.h"

// A whole file mapped into memory, for reading, or for reading and writing
// in place (the builder patches its copy of the image this way).
struct MappedFile {
    uint8_t* bytes;  // the file's first byte; nullptr when nothing is mapped
    int64_t size;    // the file's size in bytes
    bool writable;
    intptr_t system[2];  // the platform's handles of the file and the mapping
};

// A copy handle the platform opened, as an integer; kNoCopyHandle when none.
using CopyHandle = intptr_t;
constexpr CopyHandle kNoCopyHandle = -1;

struct Services {
    // --- the user
    // Modal boxes (error icon, or information icon) with one OK button,
    // owned by the last active pop-up of the host's main window.
    void (*errorBox)(const char* caption, const char* text);
    void (*informationBox)(const char* caption, const char* text);
    void (*beep)();
    // True when a key or button press waits; asked after every rendered row
    // of the preview.
    bool (*inputWaiting)();
    // String `id` of the string table, cut to capacity - 1 characters and
    // terminated: the characters copied, or a negative code (the buffer
    // then holds the empty text).
    int32_t (*loadString)(int32_t id, char* buffer, int32_t capacity);
    // Runs the build dialog (template 104) modally over the DialogContext in
    // `context`: its end code.
    intptr_t (*runBuildDialog)(RvHandle context);

    // --- the plug-in's own file and its process
    // The path of the plug-in's own file, terminated: its length, or -1 when
    // it cannot be had or does not fit `capacity`.
    int32_t (*ownFilePath)(char* buffer, int32_t capacity);
    // True when a module of this name is loaded in the process.
    bool (*isModuleLoaded)(const char* name);

    // --- the copy: create the target empty (replacing a file there), open
    // the source for reading, copy all of the source into the target (true
    // when every byte arrived), close either handle.
    CopyHandle (*createCopyTarget)(const char* path);
    CopyHandle (*openCopySource)(const char* path);
    bool (*copyAll)(CopyHandle source, CopyHandle target);
    void (*closeCopyHandle)(CopyHandle handle);

    // --- a whole file mapped: false, with nothing mapped, when it cannot be
    // (an empty file cannot); with `writable`, stores reach the file.
    // Unmapping writes the changes back and closes: false when they may not
    // all have arrived.
    bool (*mapFile)(const char* path, bool writable, MappedFile* mapped);
    bool (*unmapFile)(MappedFile* mapped);
};
