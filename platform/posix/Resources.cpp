// The resources port over the bytes that fablix_resgen embedded in the
// library (EmbeddedResources.h).
#include "Resources.h"

#include <cstring>

#include "EmbeddedResources.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameText(const char* a, const char* b) {
    for (; *a && *b; a++, b++)
        if (UpperAscii(*a) != UpperAscii(*b)) return false;
    return *a == *b;
}

// A key matches a text when both are texts that agree, or a number when
// both are numbers that agree; a text never matches a number.
bool Matches(ResourceKey key, const char* text, int32_t number) {
    if (key.text) return text && SameText(key.text, text);
    return !text && key.number == number;
}

const EmbeddedResource* Find(ResourceKey type, ResourceKey name) {
    for (int32_t i = 0; i < kEmbeddedResourceCount; i++) {
        const EmbeddedResource& r = kEmbeddedResources[i];
        if (Matches(type, r.typeName, r.typeNumber) && Matches(name, r.nameText, r.nameNumber)) return &r;
    }
    return nullptr;
}

}  // namespace

int32_t ResourceSize(ResourceKey type, ResourceKey name) {
    const EmbeddedResource* r = Find(type, name);
    return r ? r->size : kResourceNotFound;
}

int32_t CopyResource(ResourceKey type, ResourceKey name, void* destination, int32_t capacity) {
    if (capacity < 0 || (!destination && capacity > 0)) return kResourceBadArgument;
    const EmbeddedResource* r = Find(type, name);
    if (!r) return kResourceNotFound;
    int32_t count = r->size < capacity ? r->size : capacity;
    if (count > 0) std::memcpy(destination, r->bytes, static_cast<size_t>(count));
    return count;
}

int32_t LoadResourceString(int32_t id, char* buffer, int32_t capacity) {
    if (capacity < 0 || (!buffer && capacity > 0)) return kResourceBadArgument;
    const char* text = nullptr;
    for (int32_t i = 0; i < kEmbeddedStringCount && !text; i++)
        if (kEmbeddedStrings[i].id == id) text = kEmbeddedStrings[i].text;
    if (capacity == 0) return text ? 0 : kResourceNotFound;
    if (!text) {
        buffer[0] = '\0';
        return kResourceNotFound;
    }
    size_t length = std::strlen(text);
    size_t room = static_cast<size_t>(capacity) - 1;
    if (length > room) length = room;
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return static_cast<int32_t>(length);
}
