// Reading a plug-in image (PE/COFF) over a byte range: its kind, where its
// resource directory and export DLL name lie, and the leaves of its named
// resource types. Every field is checked against the range before it is
// read, so any bytes at all can be given; 32-bit images (optional-header
// magic 0x10B) and 64-bit ones (0x20B) are read alike.
#pragma once

#include <cstddef>
#include <cstdint>

// A mapped or loaded image: `size` bytes from `data`.
struct ImageBytes {
    const uint8_t* data;
    size_t size;
};

// Kinds of image, by the signature found at e_lfanew.
enum : uint16_t {
    kImageKindNone = 0,      // does not start with "MZ"
    kImageKindDos = 0x5A4D,  // "MZ" and no other signature: a plain DOS image
    kImageKindNe = 0x454E,   // "NE"
    kImageKindLe = 0x454C,   // "LE"
    kImageKindPe = 0x4550,   // "PE" and two zero bytes: the only kind the writer takes
};

uint16_t GetImageKind(ImageBytes image);

// Where the section walk found the two directories.
struct ImageDirectories {
    uint32_t resourceDirectory;  // file offset of the resource directory (R)
    uint32_t resourceDelta;      // file offset minus RVA in R's section, modulo 2^32
    uint32_t dllName;            // file offset of the export directory's DLL name
};

// What a check or a search of a PE image found.
enum ImageResult : int32_t {
    kImageFound = 0,
    kImageWhole = 0,
    kImageNotPe = 1,        // GetImageKind is not kImageKindPe
    kImageNoResources = 2,  // no section holds the resource directory
    kImageNoDllName = 3,    // no section holds the export directory, or its Name is outside
    kImageCut = 4,          // the section table or a section's data reaches past the end
};

// Walks the section table: the resource directory lies in the section that
// holds the resource RVA; the export directory in another section that holds
// the export RVA, and its DLL name at Name plus that section's delta. A later
// section that matches replaces an earlier one. Returns kImageFound when both
// were found (and only then fills `directories`), or the first that was not.
ImageResult LocateDirectories(ImageBytes image, ImageDirectories* directories);

// Checks the image against its own headers: the whole section table, the
// headers' size and the raw data of every section that has any must lie
// inside the image. A copy cut short (a download or a copy that stopped)
// fails here even where the directories the writer patches still lie
// inside, since the host would load the rest. kImageWhole, kImageNotPe or
// kImageCut.
ImageResult CheckImageExtent(ImageBytes image);

// The length of the zero-terminated text at `offset`, or -1 when its
// terminator does not lie inside the image.
int32_t TextLengthAt(ImageBytes image, uint32_t offset);

// One leaf of a named resource type.
#pragma pack(push, 1)
struct ResourceLeaf {
    char typeName[8];     // the type's name, zero-terminated when it has at most 7 characters
    int32_t id;           // the numeric name; kNamedResourceId when it has a text name
    uint32_t dataOffset;  // file offset of the data: its RVA plus the resource delta
    uint32_t dataSize;
};
#pragma pack(pop)
static_assert(offsetof(ResourceLeaf, typeName) == 0);
static_assert(offsetof(ResourceLeaf, id) == 8);
static_assert(offsetof(ResourceLeaf, dataOffset) == 12);
static_assert(offsetof(ResourceLeaf, dataSize) == 16);
static_assert(sizeof(ResourceLeaf) == 20);

enum : int32_t {
    kResourceLeafCapacity = 8,   // the table the writer keeps
    kResourceTypeNameSize = 20,  // the buffer a type's name is converted into
    // A resource known by a text name: never one of the numeric ids looked for.
    kNamedResourceId = -1,
};

// Walks the three levels below the resource directory at file offset
// `directory` (types, names, languages) and writes one record per language
// leaf of every named type, in directory order, at most `capacity` of them.
// Types known by number produce none. Entries, type names and data entries
// outside the image are skipped, and counted in `outside` when it is given.
// Returns the number of records written.
int32_t ListNamedResources(ImageBytes image, uint32_t directory, uint32_t delta, ResourceLeaf* table, int32_t capacity,
                           int32_t* outside = nullptr);

// Converts the counted UTF-16 name at `directory` + `nameOffset` as the
// run-time library's wcstombs does in the "C" locale, whatever locale the
// process has set: code units below 0x80 become one byte each; the first
// other one stops the conversion. Writes at most min(Length, capacity - 1)
// bytes and a terminator after them. Returns the bytes converted, or
// kNameNotConverted (the destination holds the bytes before the unit), or
// kNameOutside when the name does not lie wholly inside the image (the
// destination is then empty).
enum : int32_t {
    kNameNotConverted = -1,
    kNameOutside = -2,
};
int32_t ConvertResourceName(char* destination, int32_t capacity, ImageBytes image, uint32_t directory,
                            uint32_t nameOffset);
