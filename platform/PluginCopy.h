// The copy port of the plug-in builder: a plug-in file copied byte for byte
// into a new file. (Windows: the compressed-file copy service, which expands
// a compressed source and copies a plain one as it is; elsewhere a plain
// copy.) Handles are the platform's, as integers; kNoCopyHandle when none.
#pragma once

#include "Services.h"  // CopyHandle

// Creates the file at `path` empty, replacing a file there.
CopyHandle CreateCopyTarget(const char* path);
// Opens the file at `path` for reading.
CopyHandle OpenCopySource(const char* path);
// Copies all of the source into the target: true when every byte arrived.
bool CopyAll(CopyHandle source, CopyHandle target);
void CloseCopyHandle(CopyHandle handle);
