#include "OwnModule.h"

#include <windows.h>

#include "ThisModule.h"

int32_t OwnFilePath(char* buffer, int32_t capacity) {
    if (buffer == nullptr || capacity <= 0) return -1;
    const DWORD length = GetModuleFileNameA(ThisModule(), buffer, static_cast<DWORD>(capacity));
    // A path cut to the buffer fills it completely.
    if (length == 0 || length >= static_cast<DWORD>(capacity)) {
        buffer[0] = '\0';
        return -1;
    }
    return static_cast<int32_t>(length);
}

bool IsModuleLoaded(const char* name) {
    return name != nullptr && name[0] != '\0' && GetModuleHandleA(name) != nullptr;
}
