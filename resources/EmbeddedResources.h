// The plug-in's resources as the builds without a resource compiler carry
// them: the bytes that fablix_resgen also writes to the .bin files of the
// Windows resource script. Read them through the resources port
// (platform/Resources.h), not directly.
#pragma once

#include <cstdint>

// One resource. A type or name is either a text or, when the text is
// nullptr, the number beside it.
struct EmbeddedResource {
    const char* typeName;  // "PARM", "TEXT", ...; nullptr for a numeric type
    int32_t typeNumber;    // FABLIX_RT_RCDATA for the lookup tables
    const char* nameText;  // "COSINE", ...; nullptr for a numeric name
    int32_t nameNumber;    // 16000, 1000, ...
    const uint8_t* bytes;
    int32_t size;
};

// One entry of the string table.
struct EmbeddedString {
    int32_t id;
    const char* text;
};

extern const EmbeddedResource kEmbeddedResources[];
extern const int32_t kEmbeddedResourceCount;
extern const EmbeddedString kEmbeddedStrings[];
extern const int32_t kEmbeddedStringCount;
