// The resources port over the image's own resource section.
#include "Resources.h"

#include <windows.h>

#include <cstring>

#include "ThisModule.h"

namespace {

LPCSTR KeyName(ResourceKey key) { return key.text ? key.text : MAKEINTRESOURCEA(static_cast<WORD>(key.number)); }

// The resource's bytes, or nullptr. Loading and locking a resource of a
// loaded image only yields its address: nothing has to be released.
const void* Find(ResourceKey type, ResourceKey name, DWORD* size) {
    if ((!type.text && (type.number < 0 || type.number > 0xFFFF)) ||
        (!name.text && (name.number < 0 || name.number > 0xFFFF)))
        return nullptr;
    HMODULE module = ThisModule();
    HRSRC found = FindResourceA(module, KeyName(name), KeyName(type));
    if (found == nullptr) return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    *size = SizeofResource(module, found);
    return bytes;
}

}  // namespace

int32_t ResourceSize(ResourceKey type, ResourceKey name) {
    DWORD size = 0;
    return Find(type, name, &size) ? static_cast<int32_t>(size) : kResourceNotFound;
}

int32_t CopyResource(ResourceKey type, ResourceKey name, void* destination, int32_t capacity) {
    if (capacity < 0 || (!destination && capacity > 0)) return kResourceBadArgument;
    DWORD size = 0;
    const void* bytes = Find(type, name, &size);
    if (!bytes) return kResourceNotFound;
    const int32_t count = size < static_cast<DWORD>(capacity) ? static_cast<int32_t>(size) : capacity;
    if (count > 0) std::memcpy(destination, bytes, static_cast<size_t>(count));
    return count;
}

int32_t LoadResourceString(int32_t id, char* buffer, int32_t capacity) {
    if (capacity < 0 || (!buffer && capacity > 0)) return kResourceBadArgument;
    if (id < 0 || id > 0xFFFF) {
        if (capacity > 0) buffer[0] = '\0';
        return kResourceNotFound;
    }
    // LoadStringA cannot tell a missing string from an empty one; the table
    // holds no empty strings.
    if (capacity <= 1) {
        char probe[2];
        const bool found = LoadStringA(ThisModule(), static_cast<UINT>(id), probe, 2) > 0;
        if (capacity == 1) buffer[0] = '\0';
        return found ? 0 : kResourceNotFound;
    }
    const int copied = LoadStringA(ThisModule(), static_cast<UINT>(id), buffer, capacity);
    if (copied <= 0) {
        buffer[0] = '\0';
        return kResourceNotFound;
    }
    return copied;
}
