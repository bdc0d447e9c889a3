#include "TestElf.h"

namespace {

constexpr uint64_t kAlignment = 8;

uint64_t Aligned(uint64_t at) { return (at + kAlignment - 1) / kAlignment * kAlignment; }

struct Layout {
    uint64_t headerSize, entrySize, word;
    uint64_t shoffAt, shentsizeAt;
};
constexpr Layout kNarrow = {52, 40, 4, 32, 46};
constexpr Layout kWide = {64, 64, 8, 40, 58};

void PutSectionHeader(std::vector<uint8_t>* bytes, const Layout& l, uint64_t at, uint32_t name, uint32_t type,
                      uint64_t offset, uint64_t size) {
    PutField(bytes, at, name, 4);
    PutField(bytes, at + 4, type, 4);
    const uint64_t offsetAt = at + 8 + 2 * l.word;  // after sh_flags and sh_addr
    PutField(bytes, offsetAt, offset, l.word);
    PutField(bytes, offsetAt + l.word, size, l.word);
}

}  // namespace

void PutField(std::vector<uint8_t>* bytes, uint64_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

TestElf BuildTestElf(bool wide, const std::vector<TestElfSection>& sections) {
    const Layout& l = wide ? kWide : kNarrow;
    TestElf elf{};
    elf.entrySize = l.entrySize;
    std::vector<uint8_t>& b = elf.bytes;
    b.assign(l.headerSize, 0);
    const uint8_t ident[] = {0x7F, 'E', 'L', 'F', uint8_t(wide ? 2 : 1), 1, 1};
    for (size_t i = 0; i < sizeof ident; ++i) b[i] = ident[i];
    PutField(&b, 16, 3, 2);              // e_type: a shared object
    PutField(&b, 18, wide ? 62 : 3, 2);  // e_machine: x86-64 or i386
    PutField(&b, 20, 1, 4);              // e_version

    std::string names(1, '\0');
    std::vector<uint32_t> nameAt;
    for (const TestElfSection& section : sections) {
        nameAt.push_back(static_cast<uint32_t>(names.size()));
        names += section.name + '\0';
        elf.dataOffsets.push_back(Aligned(b.size()));
        b.resize(elf.dataOffsets.back());
        if (section.type != kElfNoBits) b.insert(b.end(), section.data.begin(), section.data.end());
    }
    const uint32_t namesName = static_cast<uint32_t>(names.size());
    names += ".shstrtab";
    names += '\0';
    elf.namesOffset = b.size();
    b.insert(b.end(), names.begin(), names.end());

    const uint64_t count = sections.size() + 2;
    elf.sectionTable = Aligned(b.size());
    b.resize(elf.sectionTable + count * l.entrySize, 0);
    for (size_t i = 0; i < sections.size(); ++i)
        PutSectionHeader(&b, l, elf.sectionTable + (i + 1) * l.entrySize, nameAt[i], sections[i].type,
                         elf.dataOffsets[i], sections[i].data.size());
    PutSectionHeader(&b, l, elf.sectionTable + (count - 1) * l.entrySize, namesName, kElfStrTab, elf.namesOffset,
                     names.size());
    PutField(&b, l.shoffAt, elf.sectionTable, l.word);
    PutField(&b, l.shentsizeAt, l.entrySize, 2);
    PutField(&b, l.shentsizeAt + 2, count, 2);
    PutField(&b, l.shentsizeAt + 4, count - 1, 2);
    return elf;
}
