// The template catalogue: every name of the formula language and every
// operator, with its arity and the code the compiler appends for it.
//
// Code format. The structural templates carry their exact bytes:
//   prolog  53 56 57 55 8B EC 8B 74 24 14
//   number  50 B8, followed in the area by the literal's four bytes
//   error   33 C0 C3
//   epilog  8B E5 5D 5F 5E 5B C3
// Every other template is exactly its catalogue size: its first byte is
// kOpBase plus its operation, the rest is kFiller. No operation byte is the
// first byte of a structural template, so an area decodes one way only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Program.h"

#pragma pack(push, 1)
struct Template {
    char name[8];        // zero-terminated, case-sensitive; empty ends the table
    int16_t arity;       // 0 variables, operators, structural; 1..10 functions
    int16_t codeOffset;  // start of the bytes within kTemplateCode
    uint32_t length;     // size of the code in bytes
};
#pragma pack(pop)
static_assert(offsetof(Template, name) == 0);
static_assert(offsetof(Template, arity) == 8);
static_assert(offsetof(Template, codeOffset) == 10);
static_assert(offsetof(Template, length) == 12);
static_assert(sizeof(Template) == 16);

enum : uint8_t {
    kOpBase = 0xA0,
    kFiller = 0xCC,
    kPrologFirstByte = 0x53,
    kNumberFirstByte = 0x50,
    kErrorFirstByte = 0x33,
    kEpilogFirstByte = 0x8B,
};
static_assert(kOpBase + kOpCount <= 0x100);
static_assert(kOpBase > kEpilogFirstByte && kOpBase > kPrologFirstByte);

enum : int32_t {
    kTemplateRowCount = 113,   // rows with a name, before the terminating row
    kTemplateCodeSize = 2475,  // all bodies, synonyms once, "cos" inside "sin"
    kPrologSize = 10,
    kCompiledSignSize = 6,  // the prolog bytes that mark compiled code
    kNumberSize = 2,
    kLiteralSize = 6,  // "number" and the value's four bytes
    kErrorSize = 3,
    kEpilogSize = 7,
};

using TemplateTable = Template;  // the table is an array of rows

// kTemplateRowCount rows, then the terminating row with the empty name.
extern const TemplateTable* const kTemplateTable;
// The bodies of all rows, kTemplateCodeSize bytes.
extern const uint8_t* const kTemplateCode;
extern const uint8_t* const kPrologBytes;  // kPrologSize bytes
extern const uint8_t* const kErrorBytes;   // kErrorSize bytes
extern const uint8_t* const kEpilogBytes;  // kEpilogSize bytes

// Size in bytes of the template body of each operation (kOpCount entries);
// 0 for Op::Number and Op::Return, whose bytes are structural.
extern const uint8_t* const kOpLength;

// The first row of `table` whose name equals `name` byte for byte, or null.
const Template* FindRow(const TemplateTable* table, const char* name);

// Finds `name` in `table` byte for byte; the first match wins. Not found:
// null and 0, result false.
bool FindTemplate(const TemplateTable* table, const char* name, const uint8_t** code, int32_t* length);

// Looks up an identifier: true and its arity when a formula may name it.
// The structural templates and "negate" are not values, so an identifier
// never finds them.
bool FindArity(const TemplateTable* table, const char* name, int32_t* arity);
