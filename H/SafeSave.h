// What a safe save needs of the file system: a file written under a
// temporary name reaches the disk, then takes the place of the old one in
// one step, so that a crash leaves either the old file or the new one.
#pragma once

#include <cstdio>

// Writes the stream's buffers and asks the system to put the file's data on
// the disk. True on success. The stream stays open.
bool FlushFileToDisk(FILE* file);

// Puts the file `from` in place of `to`, replacing it when it exists, and
// makes the change durable. True on success; on failure both stay as they
// were.
bool ReplaceWithFile(const char* from, const char* to);
