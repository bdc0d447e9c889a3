// libFuzzer target: arbitrary bytes as a plug-in image, PE or ELF. The
// readers and the writers must read and write nothing outside the bytes
// (they lie in a heap block of exactly their size, which ASan watches);
// what the readers find must lie inside them; the PE writer must change
// nothing but the DLL name, the PARM data and the TEXT data, the ELF writer
// nothing but the block section, and neither anything at all when it
// refuses the image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ElfImage.h"
#include "FilterParams.h"
#include "ImageReader.h"
#include "PluginWriter.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "image_fuzz: %s\n", what);
        abort();
    }
}

void CheckReader(ImageBytes image) {
    const uint16_t kind = GetImageKind(image);
    ImageDirectories found{};
    const int32_t located = LocateDirectories(image, &found);
    Check(located == kImageNotPe || kind == kImageKindPe, "directories located in an image that is not PE");
    if (located != kImageFound) return;
    const int32_t nameLength = TextLengthAt(image, found.dllName);
    Check(nameLength >= 0 && found.dllName + uint64_t(nameLength) < image.size, "DLL name outside the image");

    ResourceLeaf table[kResourceLeafCapacity + 1];
    memset(table, 0x5A, sizeof table);
    const int32_t count =
        ListNamedResources(image, found.resourceDirectory, found.resourceDelta, table, kResourceLeafCapacity);
    Check(count >= 0 && count <= kResourceLeafCapacity, "record count outside the table");
    const uint8_t* guard = reinterpret_cast<const uint8_t*>(&table[kResourceLeafCapacity]);
    for (size_t i = 0; i < sizeof(ResourceLeaf); ++i) Check(guard[i] == 0x5A, "record written past the table");
}

// Where the writer may write: the DLL name's first 7 bytes and the data of
// every PARM and TEXT leaf (of every leaf, to keep the check simple).
struct Patchable {
    bool found = false;
    uint64_t dllName = 0;
    int32_t count = 0;
    ResourceLeaf table[kResourceLeafCapacity];

    explicit Patchable(ImageBytes image) {
        ImageDirectories directories{};
        found = LocateDirectories(image, &directories) == kImageFound;
        if (!found) return;
        dllName = directories.dllName;
        count = ListNamedResources(image, directories.resourceDirectory, directories.resourceDelta, table,
                                   kResourceLeafCapacity);
    }

    bool Holds(size_t at) const {
        if (!found) return false;
        if (at >= dllName && at < dllName + kDllNamePatchLength) return true;
        for (int32_t i = 0; i < count; ++i)
            if (at >= table[i].dataOffset && at - table[i].dataOffset < table[i].dataSize) return true;
        return false;
    }
};

void CheckWriter(uint8_t* bytes, size_t size) {
    static FilterParams block;
    memset(&block, 0x77, sizeof block);  // unterminated texts: the writer must bound them itself
    block.hasControls = 1;
    std::unique_ptr<uint8_t[]> before(new uint8_t[size]);
    if (size > 0) memcpy(before.get(), bytes, size);
    const Patchable patchable(ImageBytes{bytes, size});
    const int32_t result = PatchPluginImage(bytes, size, &block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == before[i]) continue;
        Check(result != kPatchNotPe && result != kPatchNoDirectories, "a refused image changed");
        Check(patchable.Holds(i), "a byte outside the three patches changed");
    }
}

void CheckElf(uint8_t* bytes, size_t size) {
    ElfSection section{};
    const bool found = FindElfSection(ImageBytes{bytes, size}, kBlockSectionName, &section) == kElfFound;
    Check(!found || (section.offset <= size && section.size <= size - section.offset), "section outside the image");
    static FilterParams block;
    memset(&block, 0x66, sizeof block);
    std::unique_ptr<uint8_t[]> before(new uint8_t[size]);
    if (size > 0) memcpy(before.get(), bytes, size);
    const int32_t result = PatchFrei0rImage(bytes, size, &block);
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] == before[i]) continue;
        Check(result == kPatchedAll, "a refused ELF image changed");
        Check(found && i - section.offset < section.size, "a byte outside the block section changed");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    if (size > 0) memcpy(bytes.get(), data, size);
    CheckReader(ImageBytes{bytes.get(), size});
    CheckWriter(bytes.get(), size);
    if (size > 0) memcpy(bytes.get(), data, size);
    CheckElf(bytes.get(), size);
    return 0;
}
