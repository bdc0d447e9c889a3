#include "ElfImage.h"

#include <cstring>

namespace {

// The fields read, from the published ELF layout: the identification, then
// header and section-header fields whose places depend on the class.
constexpr uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr size_t kClassAt = 4;
constexpr size_t kDataAt = 5;
constexpr uint8_t kClass32 = 1, kClass64 = 2;
constexpr uint8_t kLittleEndian = 1;
constexpr uint32_t kNoBits = 8;  // SHT_NOBITS: a section that takes no room in the file

struct ElfLayout {
    size_t headerSize;
    size_t sectionTableAt;            // e_shoff
    size_t entrySizeAt;               // e_shentsize, e_shnum and e_shstrndx follow, 16 bits each
    size_t wordSize;                  // of e_shoff, sh_offset and sh_size
    size_t entrySize;                 // the least section-header size
    size_t typeAt, offsetAt, sizeAt;  // sh_type, sh_offset, sh_size (sh_name is at 0)
};

constexpr ElfLayout kLayout32 = {52, 32, 46, 4, 40, 4, 16, 20};
constexpr ElfLayout kLayout64 = {64, 40, 58, 8, 64, 4, 24, 32};

bool Inside(ImageBytes image, uint64_t offset, uint64_t size) {
    return offset <= image.size && size <= image.size - offset;
}

uint64_t Read(ImageBytes image, uint64_t at, size_t width) {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= uint64_t{image.data[at + i]} << (8 * i);
    return value;
}

struct SectionTable {
    const ElfLayout* layout;
    uint64_t at;  // file offset of the first header
    uint64_t entrySize;
    uint32_t count;
    uint32_t names;  // index of the section-name string table
};

const ElfLayout* LayoutOf(ImageBytes image) {
    if (image.size < sizeof kElfMagic || memcmp(image.data, kElfMagic, sizeof kElfMagic) != 0) return nullptr;
    if (image.size <= kDataAt || image.data[kDataAt] != kLittleEndian) return nullptr;
    const ElfLayout* layout = image.data[kClassAt] == kClass32   ? &kLayout32
                              : image.data[kClassAt] == kClass64 ? &kLayout64
                                                                 : nullptr;
    return layout != nullptr && image.size >= layout->headerSize ? layout : nullptr;
}

// The section-header table, when all of it lies inside the image.
bool ReadSectionTable(ImageBytes image, const ElfLayout* layout, SectionTable* table) {
    table->layout = layout;
    table->at = Read(image, layout->sectionTableAt, layout->wordSize);
    table->entrySize = Read(image, layout->entrySizeAt, 2);
    table->count = static_cast<uint32_t>(Read(image, layout->entrySizeAt + 2, 2));
    table->names = static_cast<uint32_t>(Read(image, layout->entrySizeAt + 4, 2));
    return table->entrySize >= layout->entrySize && table->names < table->count &&
           Inside(image, table->at, table->entrySize * table->count);
}

struct SectionHeader {
    uint32_t name;
    uint32_t type;
    uint64_t offset;
    uint64_t size;
};

SectionHeader ReadHeader(ImageBytes image, const SectionTable& table, uint32_t index) {
    const uint64_t at = table.at + table.entrySize * index;
    const ElfLayout& layout = *table.layout;
    return SectionHeader{static_cast<uint32_t>(Read(image, at, 4)),
                         static_cast<uint32_t>(Read(image, at + layout.typeAt, 4)),
                         Read(image, at + layout.offsetAt, layout.wordSize),
                         Read(image, at + layout.sizeAt, layout.wordSize)};
}

// True when the terminated name at `at` in the string table `names` is `name`.
bool NameIs(ImageBytes image, const SectionHeader& names, uint32_t at, const char* name) {
    const uint64_t length = strlen(name);
    return at < names.size && length < names.size - at && memcmp(image.data + names.offset + at, name, length + 1) == 0;
}

}  // namespace

ElfResult CheckElfExtent(ImageBytes image) {
    const ElfLayout* layout = LayoutOf(image);
    if (layout == nullptr) return kElfNotElf;
    SectionTable table{};
    if (!ReadSectionTable(image, layout, &table)) return kElfCut;
    for (uint32_t i = 0; i < table.count; ++i) {
        const SectionHeader header = ReadHeader(image, table, i);
        if (header.type != kNoBits && !Inside(image, header.offset, header.size)) return kElfCut;
    }
    return kElfFound;
}

ElfResult FindElfSection(ImageBytes image, const char* name, ElfSection* section) {
    const ElfLayout* layout = LayoutOf(image);
    if (layout == nullptr) return kElfNotElf;
    SectionTable table{};
    if (!ReadSectionTable(image, layout, &table)) return kElfNoSection;
    const SectionHeader names = ReadHeader(image, table, table.names);
    if (names.type == kNoBits || !Inside(image, names.offset, names.size)) return kElfNoSection;
    for (uint32_t i = 0; i < table.count; ++i) {
        const SectionHeader header = ReadHeader(image, table, i);
        if (!NameIs(image, names, header.name, name)) continue;
        if (header.type == kNoBits || !Inside(image, header.offset, header.size)) return kElfSectionOutside;
        *section = ElfSection{header.offset, header.size};
        return kElfFound;
    }
    return kElfNoSection;
}
