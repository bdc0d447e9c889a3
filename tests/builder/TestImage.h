// Small PE images built byte by byte for the builder's tests: DOS header,
// NT headers with a 32-bit or 64-bit optional header, a code section, an
// export section holding the DLL name, and a resource section with named and
// numbered types. Each section has its own RVA-to-file delta, so a reader
// that mixes them up reads the wrong bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestResource {
    std::string type;  // a named type, or "" for the numeric type `typeNumber`
    uint16_t typeNumber;
    uint16_t id;  // the numeric name
    std::vector<uint8_t> data;
    std::string nameText = "";  // when set, the resource has this text name instead of `id`
};

struct TestImageLayout {
    bool wide = false;  // optional-header magic 0x20B
    std::string dllName = "FL-Fabx.rvp";
    bool withExport = true;               // an export section at all
    std::vector<TestResource> resources;  // types in directory order (named ones first)
};

struct TestImage {
    std::vector<uint8_t> bytes;
    uint32_t ntHeaders;          // e_lfanew
    uint32_t sectionTable;       // file offset of the first section header
    uint32_t resourceDirectory;  // file offsets of what the reader must find
    uint32_t resourceDelta;
    uint32_t exportDirectory;
    uint32_t dllName;
    std::vector<uint32_t> dataOffsets;  // per resource of the layout
};

TestImage BuildTestImage(const TestImageLayout& layout);

// The five named leaves of the plug-in's own image, with the resources' own
// bytes (PARM is the editor's block, TEXT its title), and RCDATA "COSINE"
// as a numbered type that must produce no record.
std::vector<TestResource> PluginResources();
TestImageLayout PluginImageLayout(bool wide);

// The plug-in's own image of the win32 or (wide) win64 build of this tree,
// which the tests read when it has been built.
const char* RealImagePath(bool wide);

// Sizes of those five leaves, in directory order.
constexpr uint32_t kPluginLeafSizes[] = {50, 4, 8300, 253, 6};

// Little-endian fields of an image.
void Put16(std::vector<uint8_t>* bytes, size_t at, uint16_t value);
void Put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value);
uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at);
