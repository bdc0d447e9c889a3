#include "ImageReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Locations of the fields the reader uses, from the start of the image (e_*),
// of the NT headers (H), of a section header, of a directory or an entry.
constexpr uint64_t kDosMagicAt = 0;
constexpr uint64_t kNtHeadersAt = 60;         // e_lfanew
constexpr uint64_t kSectionCountAt = 6;       // H + NumberOfSections
constexpr uint64_t kOptionalSizeAt = 20;      // H + SizeOfOptionalHeader
constexpr uint64_t kOptionalMagicAt = 24;     // H + Magic
constexpr uint64_t kSectionTableAt = 24;      // H + 24 + SizeOfOptionalHeader
constexpr uint64_t kExportRvaAt = 120;        // H + DataDirectory[0].VirtualAddress
constexpr uint64_t kResourceRvaAt = 136;      // H + DataDirectory[2].VirtualAddress
constexpr uint64_t kWideDirectoryShift = 16;  // the 64-bit optional header's wider fields
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kSectionVirtualAddressAt = 12;
constexpr uint64_t kSectionRawSizeAt = 16;
constexpr uint64_t kSectionRawPointerAt = 20;
constexpr uint64_t kSymbolTableAt = 12;  // H + PointerToSymbolTable
constexpr uint64_t kSymbolCountAt = 16;  // H + NumberOfSymbols
constexpr uint64_t kHeadersSizeAt = 84;  // H + SizeOfHeaders, alike in both optional headers
constexpr uint64_t kSymbolSize = 18;
constexpr uint64_t kStringTableSizeField = 4;  // the string table after the symbols starts with its size
constexpr uint64_t kExportNameAt = 12;         // export directory's Name
constexpr uint64_t kNamedCountAt = 12;         // resource directory's NumberOfNamedEntries
constexpr uint64_t kIdCountAt = 14;            // ... NumberOfIdEntries
constexpr uint64_t kEntriesAt = 16;
constexpr uint64_t kEntrySize = 8;
constexpr uint64_t kEntryDataAt = 4;      // OffsetToData
constexpr uint64_t kDataEntrySizeAt = 4;  // a data entry's Size

constexpr uint16_t kDosMagic = 0x5A4D;         // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;  // "PE" and two zero bytes
constexpr uint16_t kMagic64 = 0x20B;
constexpr uint32_t kLow31 = 0x7FFFFFFF;
constexpr uint32_t kNameIsText = 0x80000000;
constexpr uint32_t kIdMask = 0xFFFF;
constexpr uint16_t kFirstNonAscii = 0x80;

// No valid image nests more entries than this under its named types; the
// bound keeps a crafted directory whose levels all point at one another
// from costing (2^16)^3 steps.
constexpr int32_t kEntryVisitBudget = 4096;

bool Inside(ImageBytes image, uint64_t offset, uint64_t length) {
    return offset <= image.size && length <= image.size - offset;
}

bool Read16(ImageBytes image, uint64_t offset, uint16_t* value) {
    if (!Inside(image, offset, 2)) return false;
    const uint8_t* p = image.data + offset;
    *value = static_cast<uint16_t>(p[0] | p[1] << 8);
    return true;
}

bool Read32(ImageBytes image, uint64_t offset, uint32_t* value) {
    if (!Inside(image, offset, 4)) return false;
    const uint8_t* p = image.data + offset;
    *value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
             static_cast<uint32_t>(p[3]) << 24;
    return true;
}

struct DirectoryRvas {
    uint32_t exportRva;
    uint32_t resourceRva;
    uint16_t sectionCount;
    uint64_t sectionTable;
};

bool ReadHeaders(ImageBytes image, DirectoryRvas* rvas) {
    uint32_t h = 0;
    uint16_t magic = 0;
    uint16_t optionalSize = 0;
    if (!Read32(image, kNtHeadersAt, &h) || !Read16(image, h + kOptionalMagicAt, &magic)) return false;
    const uint64_t shift = magic == kMagic64 ? kWideDirectoryShift : 0;
    rvas->sectionTable = h + kSectionTableAt;
    if (!Read16(image, h + kSectionCountAt, &rvas->sectionCount) ||
        !Read16(image, h + kOptionalSizeAt, &optionalSize) ||
        !Read32(image, h + kExportRvaAt + shift, &rvas->exportRva) ||
        !Read32(image, h + kResourceRvaAt + shift, &rvas->resourceRva))
        return false;
    rvas->sectionTable += optionalSize;
    return true;
}

struct Section {
    uint32_t virtualAddress;
    uint32_t rawSize;
    uint32_t delta;  // PointerToRawData - VirtualAddress, modulo 2^32
};

bool ReadSection(ImageBytes image, uint64_t at, Section* section) {
    uint32_t rawPointer = 0;
    if (!Read32(image, at + kSectionVirtualAddressAt, &section->virtualAddress) ||
        !Read32(image, at + kSectionRawSizeAt, &section->rawSize) ||
        !Read32(image, at + kSectionRawPointerAt, &rawPointer))
        return false;
    section->delta = rawPointer - section->virtualAddress;
    return true;
}

// The COFF symbol table and the string table after it, when the image has
// them, lie inside.
bool SymbolsInside(ImageBytes image, uint32_t h) {
    uint32_t symbols = 0;
    uint32_t count = 0;
    if (!Read32(image, h + kSymbolTableAt, &symbols) || !Read32(image, h + kSymbolCountAt, &count)) return false;
    if (symbols == 0) return true;
    const uint64_t strings = uint64_t{symbols} + uint64_t{count} * kSymbolSize;
    uint32_t stringsSize = 0;
    return Read32(image, strings, &stringsSize) &&
           Inside(image, strings, std::max<uint64_t>(stringsSize, kStringTableSizeField));
}

bool Holds(const Section& section, uint32_t rva) {
    return rva >= section.virtualAddress && rva - section.virtualAddress < section.rawSize;
}

struct Entry {
    uint32_t name;
    uint32_t offsetToData;
};

// Entry `index` of the directory at `at`.
bool ReadEntry(ImageBytes image, uint64_t at, uint32_t index, Entry* entry) {
    const uint64_t entryAt = at + kEntriesAt + index * kEntrySize;
    return Read32(image, entryAt, &entry->name) && Read32(image, entryAt + kEntryDataAt, &entry->offsetToData);
}

bool ReadCounts(ImageBytes image, uint64_t at, uint16_t* named, uint16_t* ids) {
    return Read16(image, at + kNamedCountAt, named) && Read16(image, at + kIdCountAt, ids);
}

// The walk's shared state: where records go and what is left of the budget.
struct LeafWalk {
    ImageBytes image;
    uint32_t directory;
    uint32_t delta;
    ResourceLeaf* table;
    int32_t capacity;
    int32_t count;
    int32_t budget;
    int32_t outside;  // entries, names and data entries that lie outside the image
};

// Notes one part of the walk that lies outside the image, which is skipped.
void Outside(LeafWalk* walk) { ++walk->outside; }

bool Spend(LeafWalk* walk) { return walk->count < walk->capacity && walk->budget-- > 0; }

// Level 3 (languages): the first NumberOfIdEntries entries, each naming a
// data entry by its whole OffsetToData.
void WalkLanguages(LeafWalk* walk, const char* typeName, int32_t id, uint64_t at) {
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!ReadCounts(walk->image, at, &named, &ids)) {
        Outside(walk);
        return;
    }
    for (uint32_t i = 0; i < ids && Spend(walk); ++i) {
        Entry entry{};
        uint32_t dataRva = 0;
        uint32_t dataSize = 0;
        if (!ReadEntry(walk->image, at, i, &entry)) {
            Outside(walk);
            return;
        }
        const uint64_t dataEntry = uint64_t{walk->directory} + entry.offsetToData;
        if (!Read32(walk->image, dataEntry, &dataRva) ||
            !Read32(walk->image, dataEntry + kDataEntrySizeAt, &dataSize)) {
            Outside(walk);
            continue;
        }
        ResourceLeaf& leaf = walk->table[walk->count++];
        // Names of more than 7 characters fill the field without a terminator.
        memset(leaf.typeName, 0, sizeof leaf.typeName);
        memcpy(leaf.typeName, typeName, strnlen(typeName, sizeof leaf.typeName));
        leaf.id = id;
        leaf.dataOffset = dataRva + walk->delta;
        leaf.dataSize = dataSize;
    }
}

// Level 2 (names): every entry.
void WalkNames(LeafWalk* walk, const char* typeName, uint64_t at) {
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!ReadCounts(walk->image, at, &named, &ids)) {
        Outside(walk);
        return;
    }
    const uint32_t entries = uint32_t{named} + ids;
    for (uint32_t i = 0; i < entries && Spend(walk); ++i) {
        Entry entry{};
        if (!ReadEntry(walk->image, at, i, &entry)) {
            Outside(walk);
            return;
        }
        const int32_t id = entry.name & kNameIsText ? kNamedResourceId : static_cast<int32_t>(entry.name & kIdMask);
        WalkLanguages(walk, typeName, id, uint64_t{walk->directory} + (entry.offsetToData & kLow31));
    }
}

}  // namespace

uint16_t GetImageKind(ImageBytes image) {
    uint16_t magic = 0;
    if (!Read16(image, kDosMagicAt, &magic) || magic != kDosMagic) return kImageKindNone;
    uint32_t h = 0;
    uint16_t shortSignature = 0;
    uint32_t signature = 0;
    if (!Read32(image, kNtHeadersAt, &h) || !Read16(image, h, &shortSignature)) return kImageKindDos;
    if (shortSignature == kImageKindNe || shortSignature == kImageKindLe) return shortSignature;
    if (Read32(image, h, &signature) && signature == kPeSignature) return kImageKindPe;
    return kImageKindDos;
}

ImageResult LocateDirectories(ImageBytes image, ImageDirectories* directories) {
    DirectoryRvas rvas{};
    if (GetImageKind(image) != kImageKindPe) return kImageNotPe;
    if (!ReadHeaders(image, &rvas)) return kImageNoResources;
    bool haveResources = false;
    bool haveExport = false;
    uint64_t exportNameAt = 0;
    uint32_t exportDelta = 0;
    ImageDirectories found{};
    for (uint32_t i = 0; i < rvas.sectionCount; ++i) {
        Section section{};
        if (!ReadSection(image, rvas.sectionTable + i * kSectionHeaderSize, &section)) break;
        if (Holds(section, rvas.resourceRva)) {
            found.resourceDirectory = rvas.resourceRva + section.delta;
            found.resourceDelta = section.delta;
            haveResources = true;
        } else if (Holds(section, rvas.exportRva)) {
            exportNameAt = uint64_t{static_cast<uint32_t>(rvas.exportRva + section.delta)} + kExportNameAt;
            exportDelta = section.delta;
            haveExport = true;
        }
    }
    if (!haveResources) return kImageNoResources;
    uint32_t nameRva = 0;
    if (!haveExport || !Read32(image, exportNameAt, &nameRva)) return kImageNoDllName;
    found.dllName = nameRva + exportDelta;
    if (TextLengthAt(image, found.dllName) < 0) return kImageNoDllName;
    *directories = found;
    return kImageFound;
}

ImageResult CheckImageExtent(ImageBytes image) {
    if (GetImageKind(image) != kImageKindPe) return kImageNotPe;
    DirectoryRvas rvas{};
    uint32_t h = 0;
    uint32_t headersSize = 0;
    if (!ReadHeaders(image, &rvas) || !Read32(image, kNtHeadersAt, &h) ||
        !Read32(image, h + kHeadersSizeAt, &headersSize) || headersSize > image.size ||
        !Inside(image, rvas.sectionTable, uint64_t{rvas.sectionCount} * kSectionHeaderSize) || !SymbolsInside(image, h))
        return kImageCut;
    for (uint32_t i = 0; i < rvas.sectionCount; ++i) {
        const uint64_t at = rvas.sectionTable + i * kSectionHeaderSize;
        uint32_t rawSize = 0;
        uint32_t rawPointer = 0;
        Read32(image, at + kSectionRawSizeAt, &rawSize);
        Read32(image, at + kSectionRawPointerAt, &rawPointer);
        // A section without file data (.bss) has no place in the file to check.
        if (rawSize != 0 && !Inside(image, rawPointer, rawSize)) return kImageCut;
    }
    return kImageWhole;
}

int32_t TextLengthAt(ImageBytes image, uint32_t offset) {
    if (offset >= image.size) return -1;
    const void* end = memchr(image.data + offset, 0, image.size - offset);
    return end ? static_cast<int32_t>(static_cast<const uint8_t*>(end) - (image.data + offset)) : -1;
}

int32_t ConvertResourceName(char* destination, int32_t capacity, ImageBytes image, uint32_t directory,
                            uint32_t nameOffset) {
    if (capacity <= 0) return kNameOutside;
    destination[0] = '\0';
    const uint64_t at = uint64_t{directory} + nameOffset;
    uint16_t length = 0;
    if (!Read16(image, at, &length) || !Inside(image, at + 2, 2 * uint64_t{length})) return kNameOutside;
    const int32_t units = length < capacity - 1 ? length : capacity - 1;
    for (int32_t i = 0; i < units; ++i) {
        uint16_t unit = 0;
        Read16(image, at + 2 + 2 * uint64_t(i), &unit);
        if (unit >= kFirstNonAscii) {
            destination[i] = '\0';
            return kNameNotConverted;
        }
        destination[i] = static_cast<char>(unit);
    }
    destination[units] = '\0';
    return units;
}

int32_t ListNamedResources(ImageBytes image, uint32_t directory, uint32_t delta, ResourceLeaf* table, int32_t capacity,
                           int32_t* outside) {
    LeafWalk walk{image, directory, delta, table, capacity, 0, kEntryVisitBudget, 0};
    uint16_t named = 0;
    uint16_t ids = 0;
    if (!ReadCounts(image, directory, &named, &ids)) Outside(&walk);
    // Level 1 (types): only the named ones.
    for (uint32_t i = 0; i < named && Spend(&walk); ++i) {
        Entry entry{};
        if (!ReadEntry(image, directory, i, &entry)) {
            Outside(&walk);
            break;
        }
        char typeName[kResourceTypeNameSize];
        if (ConvertResourceName(typeName, kResourceTypeNameSize, image, directory, entry.name & kLow31) ==
            kNameOutside) {
            Outside(&walk);
            continue;
        }
        WalkNames(&walk, typeName, uint64_t{directory} + (entry.offsetToData & kLow31));
    }
    if (outside != nullptr) *outside = walk.outside;
    return walk.count;
}
