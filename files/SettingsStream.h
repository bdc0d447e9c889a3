// The open settings file as the file operations see it: a stdio stream,
// plus the little that the tests need to play a full disk and to see how
// many lines and writes were made, the bound on what a read may take, and
// what the readers noted for their caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct SettingsNotes;

struct SettingsStream {
    FILE* file;
    int64_t writeRoom;               // bytes the writes may still store; below 0: no limit
    int32_t line;                    // ReadLine and WriteLine calls made, from 1 (a long line is read in pieces)
    int32_t writeCalls;              // StreamWrite calls made
    int64_t readRoom = -1;           // bytes the reads may still take; below 0: no limit
    bool readRoomPassed = false;     // a read found the room used up
    int32_t fileLine = 0;            // the line of the file ReadLine is in, from 1, as an editor counts
    bool midLine = false;            // the last ReadLine stopped after kLineMaxLength bytes, inside a line
    int32_t lineFeedLine = 0;        // the first formula line holding a line feed alone; 0: none
    SettingsNotes* notes = nullptr;  // where the readers say what they changed; null: nowhere
};

// A stream over an open file, with no write or read limit.
SettingsStream MakeSettingsStream(FILE* file);

// Stores up to `count` bytes; returns how many were stored. Past the write
// room it stores what still fits, as a full disk does.
size_t StreamWrite(SettingsStream* stream, const void* bytes, size_t count);

// The next byte (0..255), or EOF at end of file, on a read error, or once
// the read room is used up (readRoomPassed then says so).
int StreamReadByte(SettingsStream* stream);
