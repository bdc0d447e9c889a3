#include "FileMapping.h"

#include <windows.h>

bool MapFile(const char* path, bool writable, MappedFile* mapped) {
    *mapped = MappedFile{nullptr, 0, false, {0, 0}};
    HANDLE file = CreateFileA(path, writable ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    HANDLE mapping = nullptr;
    void* bytes = nullptr;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0)
        mapping = CreateFileMappingA(file, nullptr, writable ? PAGE_READWRITE : PAGE_READONLY, 0, 0, nullptr);
    if (mapping != nullptr) bytes = MapViewOfFile(mapping, writable ? FILE_MAP_WRITE : FILE_MAP_READ, 0, 0, 0);
    if (bytes == nullptr) {
        if (mapping != nullptr) CloseHandle(mapping);
        CloseHandle(file);
        return false;
    }
    *mapped = MappedFile{static_cast<uint8_t*>(bytes),
                         size.QuadPart,
                         writable,
                         {reinterpret_cast<intptr_t>(file), reinterpret_cast<intptr_t>(mapping)}};
    return true;
}

bool UnmapFile(MappedFile* mapped) {
    if (mapped->bytes == nullptr) return true;
    HANDLE file = reinterpret_cast<HANDLE>(mapped->system[0]);
    HANDLE mapping = reinterpret_cast<HANDLE>(mapped->system[1]);
    bool ok = !mapped->writable || FlushViewOfFile(mapped->bytes, 0) != 0;
    ok = UnmapViewOfFile(mapped->bytes) != 0 && ok;
    ok = CloseHandle(mapping) != 0 && ok;
    ok = (!mapped->writable || FlushFileBuffers(file) != 0) && ok;
    ok = CloseHandle(file) != 0 && ok;
    *mapped = MappedFile{nullptr, 0, false, {0, 0}};
    return ok;
}
