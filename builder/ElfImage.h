// Reading a frei0r plug-in image (an ELF shared object) over a byte range:
// the file data of a section found by name through the section headers,
// as a writer finds it without any tool of the compiler's. Every field is
// checked against the range before it is read; 32-bit and 64-bit
// little-endian files are read alike.
#pragma once

#include <cstdint>

#include "ImageReader.h"

// The section of fablix.so that holds its parameter block (a FilterParams
// record, 8300 bytes): the editor's block with `built` 0, or in a built
// plug-in the block it renders.
#define FABLIX_BLOCK_SECTION ".fablix.block"
constexpr char kBlockSectionName[] = FABLIX_BLOCK_SECTION;

// The section that holds a built plug-in's frame rate (a BuiltTiming
// record, H/BuiltTiming.h); fablix.so of earlier versions has none.
#define FABLIX_TIMING_SECTION ".fablix.timing"
constexpr char kTimingSectionName[] = FABLIX_TIMING_SECTION;

// What a check or a search of an ELF image found.
enum ElfResult : int32_t {
    kElfFound = 0,
    kElfNotElf = 1,          // no ELF identification, or not little-endian 32-bit or 64-bit
    kElfNoSection = 2,       // no section of that name, or the section headers or names lie outside
    kElfSectionOutside = 3,  // the section has no file data (SHT_NOBITS), or its data lies outside
    kElfCut = 4,             // the section table, or a section's data, reaches past the end
};

// Where a section's data lies in the file.
struct ElfSection {
    uint64_t offset;
    uint64_t size;
};

// Checks the image against its section headers: the table, the section
// names and the file data of every section that has any lie inside. A copy
// cut short loses its section table first, as linkers put it last.
// kElfFound, kElfNotElf or kElfCut.
ElfResult CheckElfExtent(ImageBytes image);

// Finds the first section named `name` (its name read from the section-name
// string table, e_shstrndx). Returns kElfFound and fills `section` only
// when the section's data lies wholly inside the image.
ElfResult FindElfSection(ImageBytes image, const char* name, ElfSection* section);
