// The resources port: the plug-in reads its own resources (the PARM block,
// the lookup tables, the string table) through these free functions. Each
// platform answers them from wherever it keeps the resources: the posix
// builds from the bytes embedded at build time, the Windows image from its
// resource section.
#pragma once

#include <cstdint>

// A resource type or name: a text such as "PARM" or "COSINE", or, when
// `text` is nullptr, a number such as 16000 or FABLIX_RT_RCDATA. Texts
// compare without regard to ASCII case, as the Windows resource section
// stores them in capitals.
struct ResourceKey {
    const char* text;
    int32_t number;
};

constexpr ResourceKey ResourceNumber(int32_t number) { return {nullptr, number}; }
constexpr ResourceKey ResourceText(const char* text) { return {text, 0}; }

enum : int32_t {
    kResourceNotFound = -1,     // no resource of that type and name (or id)
    kResourceBadArgument = -2,  // a null destination with room, or a negative capacity
};

// The size in bytes of the resource, or kResourceNotFound.
int32_t ResourceSize(ResourceKey type, ResourceKey name);

// Copies min(resource size, capacity) bytes of the resource to
// `destination` and returns that count, or a negative code; on a negative
// code the destination is untouched.
int32_t CopyResource(ResourceKey type, ResourceKey name, void* destination, int32_t capacity);

// Copies string `id` of the string table into `buffer`, cut to capacity - 1
// characters, and terminates it. Returns the characters copied, or
// kResourceNotFound (the buffer then holds the empty text, when it has room).
int32_t LoadResourceString(int32_t id, char* buffer, int32_t capacity);
