// A whole file mapped into memory (MappedFile, in Services.h), for reading,
// or for reading and writing in place.
#pragma once

#include "Services.h"

// Maps all of the file at `path`. With `writable`, stores through `bytes`
// reach the file. Returns true on success; on failure `*mapped` maps
// nothing. An empty file cannot be mapped.
bool MapFile(const char* path, bool writable, MappedFile* mapped);

// Writes back what was changed (when mapped writable), unmaps and closes.
// Returns false when the changes may not all have reached the file. A
// MappedFile that maps nothing is left alone and gives true.
bool UnmapFile(MappedFile* mapped);
