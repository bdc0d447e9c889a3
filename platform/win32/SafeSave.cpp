// MoveFileExA replaces an existing file in one step; write-through returns
// only when the move is on the disk.
#include "SafeSave.h"

#include <io.h>
#include <windows.h>

bool FlushFileToDisk(FILE* file) {
    if (std::fflush(file) != 0) return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
}

bool ReplaceWithFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
