#include "TestImage.h"

#include <cstring>

#include "RESOURCE.h"
#include "Resources.h"

namespace {

constexpr uint32_t kNtHeaders = 0x80;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint16_t kMagic32 = 0x10B;
constexpr uint16_t kMagic64 = 0x20B;
constexpr uint16_t kOptionalSize32 = 224;
constexpr uint16_t kOptionalSize64 = 240;
constexpr uint16_t kDataDirectoryAt32 = 96;  // within the optional header
constexpr uint16_t kDataDirectoryAt64 = 112;
constexpr uint32_t kSectionCount = 3;
constexpr uint32_t kLanguage = 1033;
constexpr uint32_t kSubdirectory = 0x80000000;

// Section RVAs, chosen so that every section's delta differs.
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kExportRva = 0x2000;
constexpr uint32_t kResourceRva = 0x5000;

struct SectionPlan {
    const char* name;
    uint32_t rva;
    std::vector<uint8_t> raw;
};

uint32_t AlignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

void PutText(std::vector<uint8_t>* bytes, size_t at, const std::string& text) {
    memcpy(bytes->data() + at, text.c_str(), text.size() + 1);
}

// A counted UTF-16 name at the end of `raw`; returns its offset.
uint32_t AppendName(std::vector<uint8_t>* raw, const std::string& name) {
    const uint32_t at = static_cast<uint32_t>(raw->size());
    raw->resize(at + 2 + 2 * name.size());
    Put16(raw, at, static_cast<uint16_t>(name.size()));
    for (size_t i = 0; i < name.size(); ++i) Put16(raw, at + 2 + 2 * i, static_cast<uint8_t>(name[i]));
    return at;
}

// Directory: 16 bytes with the two counts at 12 and 14, then the entries.
void PutDirectory(std::vector<uint8_t>* raw, uint32_t at, uint16_t named, uint16_t ids) {
    Put16(raw, at + 12, named);
    Put16(raw, at + 14, ids);
}

constexpr uint32_t kDirectorySize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;

// The resource section: the root, then per resource one name directory and
// one language directory, then the data entries, the names and the data.
std::vector<uint8_t> ResourceSection(const TestImageLayout& layout, std::vector<uint32_t>* dataOffsets) {
    const uint32_t count = static_cast<uint32_t>(layout.resources.size());
    uint16_t named = 0;
    for (const TestResource& r : layout.resources) named += r.type.empty() ? 0 : 1;
    const uint32_t perType = 2 * (kDirectorySize + kEntrySize);
    const uint32_t dataEntries = kDirectorySize + kEntrySize * count + perType * count;
    std::vector<uint8_t> raw(dataEntries + kDataEntrySize * count);
    PutDirectory(&raw, 0, named, static_cast<uint16_t>(count - named));
    for (uint32_t i = 0; i < count; ++i) {
        const TestResource& r = layout.resources[i];
        const uint32_t entry = kDirectorySize + kEntrySize * i;
        const uint32_t names = kDirectorySize + kEntrySize * count + perType * i;
        const uint32_t languages = names + kDirectorySize + kEntrySize;
        const uint32_t dataEntry = dataEntries + kDataEntrySize * i;
        Put32(&raw, entry, r.type.empty() ? r.typeNumber : kSubdirectory | AppendName(&raw, r.type));
        Put32(&raw, entry + 4, kSubdirectory | names);
        const bool textName = !r.nameText.empty();
        PutDirectory(&raw, names, textName ? 1 : 0, textName ? 0 : 1);
        Put32(&raw, names + kDirectorySize, textName ? kSubdirectory | AppendName(&raw, r.nameText) : r.id);
        Put32(&raw, names + kDirectorySize + 4, kSubdirectory | languages);
        PutDirectory(&raw, languages, 0, 1);
        Put32(&raw, languages + kDirectorySize, kLanguage);
        Put32(&raw, languages + kDirectorySize + 4, dataEntry);
        raw.resize(AlignUp(static_cast<uint32_t>(raw.size()), 4));
        const uint32_t data = static_cast<uint32_t>(raw.size());
        raw.insert(raw.end(), r.data.begin(), r.data.end());
        Put32(&raw, dataEntry, kResourceRva + data);
        Put32(&raw, dataEntry + 4, static_cast<uint32_t>(r.data.size()));
        dataOffsets->push_back(data);
    }
    return raw;
}

// The export section: a 40-byte export directory whose Name points at the
// DLL name right after it.
std::vector<uint8_t> ExportSection(const TestImageLayout& layout) {
    constexpr uint32_t kExportDirectorySize = 40;
    std::vector<uint8_t> raw(kExportDirectorySize + layout.dllName.size() + 1);
    Put32(&raw, 12, kExportRva + kExportDirectorySize);
    PutText(&raw, kExportDirectorySize, layout.dllName);
    return raw;
}

std::vector<uint8_t> Resource(const char* type, int32_t id) {
    std::vector<uint8_t> bytes(ResourceSize(ResourceText(type), ResourceNumber(id)));
    CopyResource(ResourceText(type), ResourceNumber(id), bytes.data(), static_cast<int32_t>(bytes.size()));
    return bytes;
}

}  // namespace

void Put16(std::vector<uint8_t>* bytes, size_t at, uint16_t value) {
    (*bytes)[at] = static_cast<uint8_t>(value);
    (*bytes)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
    Put16(bytes, at, static_cast<uint16_t>(value));
    Put16(bytes, at + 2, static_cast<uint16_t>(value >> 16));
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

TestImage BuildTestImage(const TestImageLayout& layout) {
    TestImage image{};
    std::vector<SectionPlan> sections;
    sections.push_back({".text", kTextRva, std::vector<uint8_t>(0x180, 0xCC)});
    if (layout.withExport) sections.push_back({".edata", kExportRva, ExportSection(layout)});
    std::vector<uint32_t> dataOffsets;
    sections.push_back({".rsrc", kResourceRva, ResourceSection(layout, &dataOffsets)});

    const uint16_t optionalSize = layout.wide ? kOptionalSize64 : kOptionalSize32;
    image.ntHeaders = kNtHeaders;
    image.sectionTable = kNtHeaders + 24 + optionalSize;
    uint32_t rawAt = AlignUp(image.sectionTable + 40 * kSectionCount, kFileAlignment);
    std::vector<uint8_t>& bytes = image.bytes;
    bytes.resize(rawAt);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(&bytes, 60, kNtHeaders);
    PutText(&bytes, kNtHeaders, "PE");
    Put16(&bytes, kNtHeaders + 4, layout.wide ? 0x8664 : 0x14C);
    Put16(&bytes, kNtHeaders + 6, static_cast<uint16_t>(sections.size()));
    Put16(&bytes, kNtHeaders + 20, optionalSize);
    Put16(&bytes, kNtHeaders + 24, layout.wide ? kMagic64 : kMagic32);
    const uint32_t directories = kNtHeaders + 24 + (layout.wide ? kDataDirectoryAt64 : kDataDirectoryAt32);
    for (size_t i = 0; i < sections.size(); ++i) {
        const SectionPlan& s = sections[i];
        const uint32_t header = image.sectionTable + 40 * static_cast<uint32_t>(i);
        const uint32_t size = static_cast<uint32_t>(s.raw.size());
        memcpy(bytes.data() + header, s.name, strlen(s.name));
        Put32(&bytes, header + 8, size);
        Put32(&bytes, header + 12, s.rva);
        Put32(&bytes, header + 16, AlignUp(size, kFileAlignment));
        Put32(&bytes, header + 20, rawAt);
        if (s.rva == kExportRva) {
            Put32(&bytes, directories, s.rva);
            Put32(&bytes, directories + 4, size);
            image.exportDirectory = rawAt;
            image.dllName = rawAt + 40;
        }
        if (s.rva == kResourceRva) {
            Put32(&bytes, directories + 16, s.rva);
            Put32(&bytes, directories + 20, size);
            image.resourceDirectory = rawAt;
            image.resourceDelta = rawAt - s.rva;
            for (uint32_t offset : dataOffsets) image.dataOffsets.push_back(rawAt + offset);
        }
        bytes.resize(rawAt + AlignUp(size, kFileAlignment));
        memcpy(bytes.data() + rawAt, s.raw.data(), size);
        rawAt += AlignUp(size, kFileAlignment);
    }
    return image;
}

std::vector<TestResource> PluginResources() {
    return {
        {FABLIX_RT_FLTD, 0, IDR_FLTD, Resource(FABLIX_RT_FLTD, IDR_FLTD)},
        {FABLIX_RT_FLVS, 0, IDR_FLVS, Resource(FABLIX_RT_FLVS, IDR_FLVS)},
        {FABLIX_RT_PARM, 0, IDR_PARM, Resource(FABLIX_RT_PARM, IDR_PARM)},
        {FABLIX_RT_TEXT, 0, IDR_TEXT, Resource(FABLIX_RT_TEXT, IDR_TEXT)},
        {FABLIX_RT_TYPE, 0, IDR_TYPE, Resource(FABLIX_RT_TYPE, IDR_TYPE)},
        {"", FABLIX_RT_RCDATA, 0, std::vector<uint8_t>(512, 0x11), FABLIX_RC_COSINE},
    };
}

const char* RealImagePath(bool wide) { return wide ? FABLIX_WIN64_IMAGE : FABLIX_WIN32_IMAGE; }

TestImageLayout PluginImageLayout(bool wide) {
    TestImageLayout layout;
    layout.wide = wide;
    layout.resources = PluginResources();
    return layout;
}
