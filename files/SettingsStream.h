// The open settings file as the file operations see it: a stdio stream,
// plus the little that the tests need to play a full disk and to see how
// many lines and writes were made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SettingsStream {
    FILE* file;
    int64_t writeRoom;   // bytes the writes may still store; below 0: no limit
    int32_t line;        // lines begun by ReadLine and WriteLine, from 1
    int32_t writeCalls;  // StreamWrite calls made
};

// A stream over an open file, with no write limit.
SettingsStream MakeSettingsStream(FILE* file);

// Stores up to `count` bytes; returns how many were stored. Past the write
// room it stores what still fits, as a full disk does.
size_t StreamWrite(SettingsStream* stream, const void* bytes, size_t count);

// The next byte (0..255), or EOF at end of file or on a read error.
int StreamReadByte(SettingsStream* stream);
