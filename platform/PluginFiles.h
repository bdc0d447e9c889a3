// The file port of the plug-in builder: the plug-in's own path, the copy of
// a plug-in file, and one writable mapping of a whole file. Handles are
// those of the platform, as integers; kNoFileHandle when none.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr intptr_t kNoFileHandle = -1;

// The path of the file this code was loaded from (the plug-in library, or
// the program it is linked into); 0, or nonzero when it cannot be had or
// does not fit `capacity` with its terminator.
int32_t OwnFilePath(char* buffer, int32_t capacity);

// The copy. (Windows: the compressed-file copy service, which copies a plain
// file byte for byte; elsewhere a plain copy.) CreateCopyTarget makes the
// file empty, replacing one there; CopyAll returns 0 when every byte was
// copied.
intptr_t CreateCopyTarget(const char* path);
intptr_t OpenCopySource(const char* path);
int32_t CopyAll(intptr_t source, intptr_t target);
void CloseCopyHandle(intptr_t handle);

// One writable mapping of a whole file: the file opened for reading and
// writing; a read-write mapping of all of it (none for an empty file); a
// shared, writable view of all of it, whose writes reach the file.
intptr_t OpenForUpdate(const char* path);
intptr_t CreateWholeMapping(intptr_t file);
uint8_t* MapWholeView(intptr_t mapping, size_t* size);
void UnmapWholeView(uint8_t* view, size_t size);
void CloseWholeMapping(intptr_t mapping);
void CloseUpdatedFile(intptr_t file);
