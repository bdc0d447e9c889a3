#include "SettingsStream.h"

SettingsStream MakeSettingsStream(FILE* file) { return SettingsStream{file, -1, 0, 0}; }

size_t StreamWrite(SettingsStream* stream, const void* bytes, size_t count) {
    ++stream->writeCalls;
    size_t allowed = count;
    if (stream->writeRoom >= 0 && static_cast<uint64_t>(stream->writeRoom) < allowed)
        allowed = static_cast<size_t>(stream->writeRoom);
    const size_t stored = allowed == 0 ? 0 : fwrite(bytes, 1, allowed, stream->file);
    if (stream->writeRoom >= 0) stream->writeRoom -= static_cast<int64_t>(stored);
    return stored;
}

int StreamReadByte(SettingsStream* stream) {
    const int c = fgetc(stream->file);
    if (c == EOF) return EOF;
    // One byte past the room tells a longer file from one that ends there.
    if (stream->readRoom == 0) {
        stream->readRoomPassed = true;
        return EOF;
    }
    if (stream->readRoom > 0) --stream->readRoom;
    return c;
}
