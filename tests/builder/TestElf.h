// Small ELF images built byte by byte for the builder's tests: a header of
// either class, the sections' data, the section-name table and the section
// headers last, as linkers lay them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kElfProgBits = 1, kElfStrTab = 3, kElfNoBits = 8;

struct TestElfSection {
    std::string name;
    uint32_t type;
    std::vector<uint8_t> data;  // for kElfNoBits only its size counts: no bytes are written
};

struct TestElf {
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> dataOffsets;  // per section of the layout
    uint64_t sectionTable;              // e_shoff
    uint64_t entrySize;                 // 40 or 64
    uint64_t namesOffset;               // file offset of the section-name table
};

// Section 0 is the null section, then `sections` in order, then
// ".shstrtab", which e_shstrndx names.
TestElf BuildTestElf(bool wide, const std::vector<TestElfSection>& sections);

// Little-endian fields of `width` bytes.
void PutField(std::vector<uint8_t>* bytes, uint64_t at, uint64_t value, size_t width);
