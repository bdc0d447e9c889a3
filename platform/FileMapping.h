// A whole file mapped into memory, for reading, or for reading and writing
// in place (the builder patches its copy of the image this way).
#pragma once

#include <cstdint>

struct MappedFile {
    uint8_t* bytes;   // the file's first byte; nullptr when nothing is mapped
    int64_t size;     // the file's size in bytes
    bool writable;
    intptr_t system[2];  // the platform's handles of the file and the mapping
};

// Maps all of the file at `path`. With `writable`, stores through `bytes`
// reach the file. Returns true on success; on failure `*mapped` maps
// nothing. An empty file cannot be mapped.
bool MapFile(const char* path, bool writable, MappedFile* mapped);

// Writes back what was changed (when mapped writable), unmaps and closes.
// Returns false when the changes may not all have reached the file. A
// MappedFile that maps nothing is left alone and gives true.
bool UnmapFile(MappedFile* mapped);
