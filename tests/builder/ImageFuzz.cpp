// libFuzzer target: arbitrary bytes as a plug-in image. The reader must
// read nothing outside the bytes (they lie in a heap block of exactly their
// size, which ASan watches), and what it finds must lie inside them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "ImageReader.h"

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
    const int32_t count = ListNamedResources(image, found.resourceDirectory, found.resourceDelta, table,
                                             kResourceLeafCapacity);
    Check(count >= 0 && count <= kResourceLeafCapacity, "record count outside the table");
    const uint8_t* guard = reinterpret_cast<const uint8_t*>(&table[kResourceLeafCapacity]);
    for (size_t i = 0; i < sizeof(ResourceLeaf); ++i) Check(guard[i] == 0x5A, "record written past the table");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
    if (size > 0) memcpy(bytes.get(), data, size);
    CheckReader(ImageBytes{bytes.get(), size});
    return 0;
}
