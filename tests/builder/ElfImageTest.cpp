// The frei0r image: its block section found by name in ELF images built
// byte by byte (32-bit and 64-bit) and in fablix.so itself, every field that
// points outside refused, and the writer's copy patched inside that
// section only.
#include <gtest/gtest.h>

#include <cstring>

#include "ElfImage.h"
#include "FilterParams.h"
#include "PluginWriter.h"
#include "TestElf.h"
#include "WriterTestSupport.h"

namespace {

constexpr size_t kBlockSection = 1;  // in BlockImage's layout

// An image laid out as fablix.so is: some code, the block, some data.
TestElf BlockImage(bool wide, uint32_t blockType = kElfProgBits, size_t blockSize = kFilterParamsSize) {
    std::vector<uint8_t> block(blockSize, 0);
    const int32_t size = kFilterParamsSize;
    memcpy(block.data(), &size, sizeof size);
    return BuildTestElf(wide, {{".text", kElfProgBits, std::vector<uint8_t>(100, 0xC3)},
                               {kBlockSectionName, blockType, block},
                               {".data", kElfProgBits, std::vector<uint8_t>(24, 0x11)}});
}

int32_t Find(const std::vector<uint8_t>& bytes, ElfSection* section) {
    return FindElfSection(ImageBytes{bytes.data(), bytes.size()}, kBlockSectionName, section);
}

TEST(ElfImage, FindsTheBlockSectionInBothClasses) {
    for (bool wide : {false, true}) {
        const TestElf elf = BlockImage(wide);
        ElfSection section{};
        ASSERT_EQ(Find(elf.bytes, &section), kElfFound) << wide;
        EXPECT_EQ(section.offset, elf.dataOffsets[kBlockSection]) << wide;
        EXPECT_EQ(section.size, uint64_t{kFilterParamsSize}) << wide;
    }
}

// fablix.so of this build: the editor's block, `built` 0.
TEST(ElfImage, FindsTheEditorsBlockInFablixSo) {
    const std::vector<uint8_t> bytes = ReadFile(FABLIX_FREI0R_PATH);
    ElfSection section{};
    ASSERT_EQ(Find(bytes, &section), kElfFound);
    ASSERT_EQ(section.size, uint64_t{kFilterParamsSize});
    FilterParams block{};
    memcpy(&block, bytes.data() + section.offset, sizeof block);
    EXPECT_EQ(block.size, kFilterParamsSize);
    EXPECT_EQ(block.built, 0);
}

TEST(ElfImage, RefusesWhatLiesOutsideOrIsNoElfImage) {
    for (bool wide : {false, true}) {
        const TestElf elf = BlockImage(wide);
        const size_t word = wide ? 8 : 4;
        const uint64_t blockHeader = elf.sectionTable + (kBlockSection + 1) * elf.entrySize;
        const uint64_t namesHeader = elf.sectionTable + 4 * elf.entrySize;
        const uint64_t blockOffsetField = blockHeader + 8 + 2 * word;
        const uint64_t size = elf.bytes.size();
        const struct {
            const char* what;
            uint64_t at;  // a field to set, or ~0 for none
            uint64_t value;
            size_t width;
            uint64_t keep;  // bytes kept of the image
            int32_t result;
        } cases[] = {
            {"intact", ~0ull, 0, 0, size, kElfFound},
            {"not ELF", 0, 'M' | 'Z' << 8, 2, size, kElfNotElf},
            {"big-endian", 5, 2, 1, size, kElfNotElf},
            {"an unknown class", 4, 3, 1, size, kElfNotElf},
            {"a header cut short", ~0ull, 0, 0, wide ? 63u : 51u, kElfNotElf},
            {"the section table cut short", ~0ull, 0, 0, size - 1, kElfNoSection},
            {"the section table outside", wide ? 40u : 32u, size, word, size, kElfNoSection},
            {"section headers too small", wide ? 58u : 46u, elf.entrySize - 1, 2, size, kElfNoSection},
            {"names index outside the table", wide ? 62u : 50u, 5, 2, size, kElfNoSection},
            {"the name table outside", namesHeader + 8 + 2 * word, size - 3, word, size, kElfNoSection},
            {"the block's name outside the name table", blockHeader, 1000, 4, size, kElfNoSection},
            {"the block's data outside", blockOffsetField, size - kFilterParamsSize + 1, word, size,
             kElfSectionOutside},
            {"the block's size outside", blockOffsetField + word, size, word, size, kElfSectionOutside},
            {"the block without file data", blockHeader + 4, kElfNoBits, 4, size, kElfSectionOutside},
        };
        for (const auto& c : cases) {
            std::vector<uint8_t> bytes = elf.bytes;
            if (c.at != ~0ull) PutField(&bytes, c.at, c.value, c.width);
            bytes.resize(static_cast<size_t>(c.keep));
            ElfSection section{};
            EXPECT_EQ(Find(bytes, &section), c.result) << c.what << (wide ? ", 64-bit" : ", 32-bit");
        }
    }
    // A name that runs to the end of the name table without its terminator.
    TestElf elf = BlockImage(true);
    const char name[] = FABLIX_BLOCK_SECTION;
    auto at = std::search(elf.bytes.begin() + elf.namesOffset, elf.bytes.end(), name, name + sizeof name);
    ASSERT_NE(at, elf.bytes.end());
    const uint64_t namesSize = elf.sectionTable + 4 * elf.entrySize + 8 + 2 * 8 + 8;
    PutField(&elf.bytes, namesSize, uint64_t(at - elf.bytes.begin()) - elf.namesOffset + sizeof name - 1, 8);
    ElfSection section{};
    EXPECT_EQ(Find(elf.bytes, &section), kElfNoSection);
}

// The image against its section headers: whole images pass; every cut,
// and a section whose data reaches past the end, fails, whatever else the
// block's own section still has inside.
TEST(ElfImage, CutImagesFailTheExtentCheck) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        const TestElf elf = BlockImage(wide);
        const ImageBytes whole{elf.bytes.data(), elf.bytes.size()};
        EXPECT_EQ(CheckElfExtent(whole), kElfFound);
        const size_t header = wide ? 64 : 52;
        for (size_t size = 0; size < elf.bytes.size(); ++size)
            ASSERT_EQ(CheckElfExtent({elf.bytes.data(), size}), size < header ? int32_t{kElfNotElf} : int32_t{kElfCut})
                << size;
        const size_t word = wide ? 8 : 4;
        const uint64_t dataHeader = elf.sectionTable + 3 * elf.entrySize;  // .data, after the null section
        const uint64_t offsetField = dataHeader + (wide ? 24 : 16);
        std::vector<uint8_t> bytes = elf.bytes;
        PutField(&bytes, offsetField, elf.bytes.size() - 10, word);
        EXPECT_EQ(CheckElfExtent({bytes.data(), bytes.size()}), kElfCut) << "the data section past the end";
        PutField(&bytes, dataHeader + 4, kElfNoBits, 4);
        EXPECT_EQ(CheckElfExtent({bytes.data(), bytes.size()}), kElfFound) << "a section without file data";
    }
    const std::vector<uint8_t> fablix = ReadFile(FABLIX_FREI0R_PATH);
    ASSERT_FALSE(fablix.empty());
    EXPECT_EQ(CheckElfExtent({fablix.data(), fablix.size()}), kElfFound);
    EXPECT_EQ(CheckElfExtent({fablix.data(), fablix.size() - 1}), kElfCut);
    EXPECT_EQ(CheckElfExtent({fablix.data(), fablix.size() / 2}), kElfCut);
}

TEST(ElfImage, PatchesTheBlockAloneWithBuiltOne) {
    const FilterParams block = PatternBlock("Fx:Grain", "Grain", 1);
    for (bool wide : {false, true}) {
        std::vector<uint8_t> bytes = BlockImage(wide).bytes;
        std::vector<uint8_t> expected = bytes;
        FilterParams built = block;
        built.built = 1;
        memcpy(expected.data() + BlockImage(wide).dataOffsets[kBlockSection], &built, sizeof built);
        EXPECT_EQ(PatchFrei0rImage(bytes.data(), bytes.size(), &block), kPatchedAll);
        EXPECT_TRUE(bytes == expected) << wide;
    }
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        int32_t result;
    } refused[] = {
        {"not ELF", std::vector<uint8_t>(9000, 'M'), kPatchNotElf},
        {"a block of 8299 bytes", BlockImage(true, kElfProgBits, kFilterParamsSize - 1).bytes, kPatchNoBlock},
        {"a block of 8301 bytes", BlockImage(true, kElfProgBits, kFilterParamsSize + 1).bytes, kPatchNoBlock},
        {"a block without file data", BlockImage(true, kElfNoBits).bytes, kPatchNoBlock},
        {"an image one byte short",
         [] {
             std::vector<uint8_t> bytes = BlockImage(true).bytes;
             bytes.pop_back();
             return bytes;
         }(),
         kPatchImageCut},
    };
    for (const auto& c : refused) {
        std::vector<uint8_t> bytes = c.bytes;
        EXPECT_EQ(PatchFrei0rImage(bytes.data(), bytes.size(), &block), c.result) << c.what;
        EXPECT_TRUE(bytes == c.bytes) << c.what;
    }
}

// The timing record goes into its own section; an image without one takes
// the rate every earlier plug-in has, 25, and no other.
TEST(ElfImage, PatchesTheTimingSectionOrTakes25WithoutOne) {
    BuiltTiming timing{int32_t{sizeof(BuiltTiming)}, kDefaultBuiltFramesPerSecond};
    std::vector<uint8_t> record(sizeof timing);
    memcpy(record.data(), &timing, sizeof timing);
    const TestElf withTiming =
        BuildTestElf(true, {{kBlockSectionName, kElfProgBits, std::vector<uint8_t>(kFilterParamsSize, 0)},
                            {kTimingSectionName, kElfProgBits, record}});
    std::vector<uint8_t> bytes = withTiming.bytes;
    ASSERT_EQ(PatchFrei0rTiming(bytes.data(), bytes.size(), 60), kPatchedAll);
    std::vector<uint8_t> expected = withTiming.bytes;
    timing.framesPerSecond = 60;
    memcpy(expected.data() + withTiming.dataOffsets[1], &timing, sizeof timing);
    EXPECT_TRUE(bytes == expected);

    const std::vector<uint8_t> without = BlockImage(true).bytes;
    for (int32_t rate : {25, 30}) {
        bytes = without;
        EXPECT_EQ(PatchFrei0rTiming(bytes.data(), bytes.size(), rate), rate == 25 ? kPatchedAll : kPatchNoTiming);
        EXPECT_TRUE(bytes == without) << rate;
    }
    const TestElf shortRecord = BuildTestElf(true, {{kTimingSectionName, kElfProgBits, std::vector<uint8_t>(4, 0)}});
    bytes = shortRecord.bytes;
    EXPECT_EQ(PatchFrei0rTiming(bytes.data(), bytes.size(), 30), kPatchNoTiming);
    EXPECT_TRUE(bytes == shortRecord.bytes);
}

// The copy: the target holds the patched image, or is removed when the
// image is refused; no message box either way.
TEST(ElfImage, WritesAFrei0rPluginOrRemovesTheTarget) {
    TemporaryFolder folder;
    const FilterParams block = PatternBlock("Fx:Grain", "Grain", 0);
    const TestElf elf = BlockImage(true);
    WriteFile(folder.path + "fablix.so", elf.bytes);
    WriteFile(folder.path + "plain.so", std::vector<uint8_t>(100, 1));
    const Services ports = RecordingPorts(folder.path + "fablix.so");
    Messages().clear();

    EXPECT_EQ(WriteFrei0rPluginFile(&block, (folder.path + "fablix.so").c_str(), (folder.path + "Grain.so").c_str(),
                                    &ports),
              kWroteAll);
    std::vector<uint8_t> patched = elf.bytes;
    PatchFrei0rImage(patched.data(), patched.size(), &block);
    EXPECT_TRUE(ReadFile(folder.path + "Grain.so") == patched);

    EXPECT_EQ(WriteFrei0rPluginFile(&block, (folder.path + "plain.so").c_str(), (folder.path + "Bad.so").c_str(),
                                    &ports),
              kWriteNotElf);
    EXPECT_FALSE(FileExists(folder.path + "Bad.so"));
    EXPECT_TRUE(Messages().empty());
    EXPECT_EQ(OpenPortHandles(), 0);
}

}  // namespace
