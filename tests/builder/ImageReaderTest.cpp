// The image reader on images built byte by byte: kinds, the section walk of
// 32-bit and 64-bit images, the named leaves, and damaged images that must
// be read only inside their bytes.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ImageReader.h"
#include "TestImage.h"

namespace {

ImageBytes View(const std::vector<uint8_t>& bytes) { return {bytes.data(), bytes.size()}; }

std::vector<ResourceLeaf> Leaves(const std::vector<uint8_t>& bytes, uint32_t directory, uint32_t delta) {
    std::vector<ResourceLeaf> table(kResourceLeafCapacity);
    table.resize(ListNamedResources(View(bytes), directory, delta, table.data(), kResourceLeafCapacity));
    return table;
}

std::string TypeName(const ResourceLeaf& leaf) { return std::string(leaf.typeName, strnlen(leaf.typeName, 8)); }

// "MZ" with e_lfanew 64, then `signature` there.
std::vector<uint8_t> Signed(const std::string& signature) {
    std::vector<uint8_t> bytes(64, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    Put32(&bytes, 60, 64);
    bytes.insert(bytes.end(), signature.begin(), signature.end());
    return bytes;
}

TEST(ImageKind, BySignature) {
    std::vector<uint8_t> farHeaders = Signed("PE");
    Put32(&farHeaders, 60, 0xFFFFFFF0);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        uint16_t kind;
    } cases[] = {
        {"empty", {}, kImageKindNone},
        {"one byte", {'M'}, kImageKindNone},
        {"ZM", {'Z', 'M', 0, 0}, kImageKindNone},
        {"MZ alone", {'M', 'Z'}, kImageKindDos},
        {"e_lfanew outside", farHeaders, kImageKindDos},
        {"one byte at H", Signed("P"), kImageKindDos},
        {"NE", Signed("NE"), kImageKindNe},
        {"LE", Signed("LE"), kImageKindLe},
        {"PE cut after two bytes", Signed("PE"), kImageKindDos},
        {"PE", Signed(std::string("PE\0\0", 4)), kImageKindPe},
        {"PE with a nonzero third byte", Signed(std::string("PE\1\0", 4)), kImageKindDos},
        {"other signature", Signed("XX\0\0"), kImageKindDos},
    };
    for (const auto& c : cases) EXPECT_EQ(GetImageKind(View(c.bytes)), c.kind) << c.what;
}

class PluginImage : public testing::TestWithParam<bool> {};

TEST_P(PluginImage, FindsTheFiveNamedLeavesAndTheDllName) {
    const TestImage image = BuildTestImage(PluginImageLayout(GetParam()));
    ImageDirectories found{};
    ASSERT_EQ(LocateDirectories(View(image.bytes), &found), kImageFound);
    EXPECT_EQ(found.resourceDirectory, image.resourceDirectory);
    EXPECT_EQ(found.resourceDelta, image.resourceDelta);
    EXPECT_EQ(found.dllName, image.dllName);
    EXPECT_EQ(TextLengthAt(View(image.bytes), found.dllName), 11);
    EXPECT_STREQ(reinterpret_cast<const char*>(&image.bytes[found.dllName]), "FL-Fabx.rvp");

    const std::vector<ResourceLeaf> leaves = Leaves(image.bytes, found.resourceDirectory, found.resourceDelta);
    const struct {
        const char* type;
        int32_t id;
    } expected[] = {{"FLTD", 1}, {"FLVS", 1000}, {"PARM", 16000}, {"TEXT", 1000}, {"TYPE", 1000}};
    ASSERT_EQ(leaves.size(), 5u);
    for (size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(TypeName(leaves[i]), expected[i].type) << i;
        EXPECT_EQ(memcmp(leaves[i].typeName, expected[i].type, 5), 0) << "terminated " << i;
        EXPECT_EQ(leaves[i].id, expected[i].id) << i;
        EXPECT_EQ(leaves[i].dataOffset, image.dataOffsets[i]) << i;
        EXPECT_EQ(leaves[i].dataSize, kPluginLeafSizes[i]) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, PluginImage, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Image64" : "Image32"; });

// The plug-in's own images of the Windows builds, read as files: five named
// leaves holding the resources' own bytes, and the export DLL name.
class RealImage : public testing::TestWithParam<bool> {};

TEST_P(RealImage, FiveNamedLeavesWithTheResourcesBytesAndTheDllName) {
    std::ifstream file(RealImagePath(GetParam()), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (bytes.empty()) GTEST_SKIP() << RealImagePath(GetParam()) << " is not built; build the win32 and win64 presets";
    ASSERT_EQ(GetImageKind(View(bytes)), kImageKindPe);
    const uint32_t h = Get32(bytes, 60);
    EXPECT_EQ(bytes[h + 24] | bytes[h + 25] << 8, GetParam() ? 0x20B : 0x10B);

    ImageDirectories found{};
    ASSERT_EQ(LocateDirectories(View(bytes), &found), kImageFound);
    ASSERT_GE(TextLengthAt(View(bytes), found.dllName), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(&bytes[found.dllName]), "FL-Fabx.rvp");
    const std::vector<ResourceLeaf> leaves = Leaves(bytes, found.resourceDirectory, found.resourceDelta);
    const std::vector<TestResource> resources = PluginResources();
    ASSERT_EQ(leaves.size(), 5u);
    for (size_t i = 0; i < leaves.size(); ++i) {
        EXPECT_EQ(memcmp(leaves[i].typeName, resources[i].type.c_str(), 5), 0) << i;
        EXPECT_EQ(leaves[i].id, resources[i].id) << i;
        EXPECT_EQ(leaves[i].dataSize, kPluginLeafSizes[i]) << i;
        ASSERT_LE(uint64_t{leaves[i].dataOffset} + leaves[i].dataSize, bytes.size()) << i;
        EXPECT_TRUE(
            std::equal(resources[i].data.begin(), resources[i].data.end(), bytes.begin() + leaves[i].dataOffset))
            << "the bytes of " << resources[i].type;
    }
}

INSTANTIATE_TEST_SUITE_P(Builds, RealImage, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Win64" : "Win32"; });

TEST(NamedResources, TableHoldsEightAndNamesAreCut) {
    TestImageLayout layout;
    for (int i = 0; i < 9; ++i)
        layout.resources.push_back({"T" + std::to_string(i), 0, static_cast<uint16_t>(i), {1, 2}});
    layout.resources[0].type = "LONGTYPE";                    // 8 characters: no terminator in the record
    layout.resources[1].type = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // cut to 19 by the conversion
    layout.resources[2].nameText = "NAMED";                   // a text name never has a numeric id
    const TestImage image = BuildTestImage(layout);
    const std::vector<ResourceLeaf> leaves = Leaves(image.bytes, image.resourceDirectory, image.resourceDelta);
    ASSERT_EQ(leaves.size(), 8u);
    EXPECT_EQ(memcmp(leaves[0].typeName, "LONGTYPE", 8), 0);
    EXPECT_EQ(memcmp(leaves[1].typeName, "ABCDEFGH", 8), 0);
    EXPECT_EQ(leaves[2].id, kNamedResourceId);
    EXPECT_EQ(leaves[7].id, 7);
    EXPECT_EQ(TypeName(leaves[7]), "T7");

    char name[kResourceTypeNameSize];
    const uint32_t nameOffset = Get32(image.bytes, image.resourceDirectory + 16 + 8) & 0x7FFFFFFF;
    EXPECT_EQ(ConvertResourceName(name, sizeof name, View(image.bytes), image.resourceDirectory, nameOffset), 19);
    EXPECT_STREQ(name, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(ConvertResourceName(name, 3, View(image.bytes), image.resourceDirectory, nameOffset), 2);
    EXPECT_STREQ(name, "AB");

    std::vector<uint8_t> wide = image.bytes;
    Put16(&wide, image.resourceDirectory + nameOffset + 2 + 2 * 3, 0x00E9);  // a unit the "C" locale cannot convert
    EXPECT_EQ(ConvertResourceName(name, sizeof name, View(wide), image.resourceDirectory, nameOffset),
              kNameNotConverted);
    EXPECT_STREQ(name, "ABC");
    EXPECT_EQ(ConvertResourceName(name, sizeof name, View(wide), image.resourceDirectory, 0x7FFFFFFF), kNameOutside);
    EXPECT_STREQ(name, "");
}

// Damaged headers: what the walk then finds, or that it finds nothing.
TEST(SectionWalk, DamagedHeaders) {
    const TestImage image = BuildTestImage(PluginImageLayout(false));
    const uint32_t h = image.ntHeaders;
    const uint32_t exportSection = image.sectionTable + 40;
    const uint32_t resourceSection = image.sectionTable + 80;
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        int bytes;
        int32_t result;
    } cases[] = {
        {"no PE signature", h, 0x00004551, 4, kImageNotPe},
        {"resource RVA in no section", h + 136, 0x9000, 4, kImageNoResources},
        {"export RVA in no section", h + 120, 0x9000, 4, kImageNoDllName},
        {"export directory in the resource section", h + 120, 0x5010, 4, kImageNoDllName},
        {"resource section with no raw size", resourceSection + 16, 0, 4, kImageNoResources},
        {"export Name beyond the file", exportSection + 20, 0x7FFFFF00, 4, kImageNoDllName},
        {"one section only", h + 6, 1, 2, kImageNoResources},
        {"more sections than headers", h + 6, 10, 2, kImageFound},
        {"section table beyond the file", h + 20, 0xFFFF, 2, kImageNoResources},
        {"optional header read as 64-bit", h + 24, 0x20B, 2, kImageNoResources},
        {"NT headers beyond the file", 60, 0xFFFFFFF0, 4, kImageNotPe},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = image.bytes;
        if (c.bytes == 2)
            Put16(&bytes, c.at, static_cast<uint16_t>(c.value));
        else
            Put32(&bytes, c.at, c.value);
        ImageDirectories found{};
        EXPECT_EQ(LocateDirectories(View(bytes), &found), c.result) << c.what;
    }
}

// Every prefix of an image, in a buffer of exactly its size (the sanitizer
// build sees any read past it): the walk finds only offsets inside, and the
// leaves it lists are leaves of the whole image, in its order.
TEST(SectionWalk, EveryPrefixIsReadInside) {
    for (bool wide : {false, true}) {
        const TestImage image = BuildTestImage(PluginImageLayout(wide));
        const std::vector<ResourceLeaf> all = Leaves(image.bytes, image.resourceDirectory, image.resourceDelta);
        size_t complete = 0;
        for (size_t size = 0; size < image.bytes.size(); size += size < 0x900 ? 1 : 97) {
            const std::vector<uint8_t> prefix(image.bytes.begin(), image.bytes.begin() + size);
            ImageDirectories found{};
            if (LocateDirectories(View(prefix), &found) != kImageFound) continue;
            EXPECT_LT(found.dllName, size);
            size_t next = 0;
            const std::vector<ResourceLeaf> leaves = Leaves(prefix, found.resourceDirectory, found.resourceDelta);
            for (const ResourceLeaf& leaf : leaves) {
                while (next < all.size() && memcmp(&all[next], &leaf, sizeof leaf) != 0) ++next;
                EXPECT_LT(next, all.size()) << "a leaf the whole image does not have, size " << size;
            }
            complete += leaves.size() == all.size() ? 1 : 0;
        }
        EXPECT_GT(complete, 0u) << "no prefix held every leaf";
    }
}

// The image against its own headers: whole images pass, every cut that
// leaves out data the headers place in the file fails, and so do headers
// that place data past the end.
TEST(ImageExtent, CutImagesAndDataPastTheEnd) {
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "64-bit" : "32-bit");
        const TestImage image = BuildTestImage(PluginImageLayout(wide));
        EXPECT_EQ(CheckImageExtent(View(image.bytes)), kImageWhole);
        for (size_t size = 0; size < image.bytes.size(); size += size < 0x400 ? 1 : 61) {
            const std::vector<uint8_t> prefix(image.bytes.begin(), image.bytes.begin() + size);
            const int32_t expected =
                GetImageKind(View(prefix)) == kImageKindPe ? int32_t{kImageCut} : int32_t{kImageNotPe};
            ASSERT_EQ(CheckImageExtent(View(prefix)), expected) << "size " << size;
        }
        const uint32_t h = image.ntHeaders;
        const uint32_t last = image.sectionTable + 80;  // the resource section's header
        const struct {
            const char* what;
            size_t at;
            uint32_t value;
            int bytes;
            int32_t result;
        } cases[] = {
            {"a section's data one byte longer", last + 16, Get32(image.bytes, last + 16) + 1, 4, kImageCut},
            {"a section's data moved to the end", last + 20, static_cast<uint32_t>(image.bytes.size()) - 1, 4,
             kImageCut},
            {"a section's data at 4 GiB less 1", last + 20, 0xFFFFFFFF, 4, kImageCut},
            {"a section with no data placed anywhere", last + 16, 0, 4, kImageWhole},
            {"more sections than the table holds", h + 6, 0xFFFF, 2, kImageCut},
            {"headers larger than the image", h + 84, static_cast<uint32_t>(image.bytes.size()) + 1, 4, kImageCut},
            {"a symbol table past the end", h + 12, static_cast<uint32_t>(image.bytes.size()), 4, kImageCut},
            {"a string table cut inside its size", h + 12, static_cast<uint32_t>(image.bytes.size()) - 2, 4, kImageCut},
            {"no symbols and a string table inside", h + 12, image.sectionTable + 8, 4, kImageWhole},
        };
        for (const auto& c : cases) {
            std::vector<uint8_t> bytes = image.bytes;
            if (c.bytes == 2)
                Put16(&bytes, c.at, static_cast<uint16_t>(c.value));
            else
                Put32(&bytes, c.at, c.value);
            EXPECT_EQ(CheckImageExtent(View(bytes)), c.result) << c.what;
        }
    }
}

// The real images of this tree hold every byte their headers place, and
// lose that with their last byte.
TEST(ImageExtent, RealImagesAreWholeToTheirLastByte) {
    for (bool wide : {false, true}) {
        std::ifstream file(RealImagePath(wide), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        if (bytes.empty()) GTEST_SKIP() << RealImagePath(wide) << " is not built; build the win32 and win64 presets";
        EXPECT_EQ(CheckImageExtent(View(bytes)), kImageWhole) << RealImagePath(wide);
        EXPECT_EQ(CheckImageExtent({bytes.data(), bytes.size() - 1}), kImageCut) << RealImagePath(wide);
        EXPECT_EQ(CheckImageExtent({bytes.data(), 1262000}), kImageCut) << RealImagePath(wide);
    }
}

// Parts of the resource walk outside the image are counted.
TEST(NamedResources, PartsOutsideTheImageAreCounted) {
    const TestImage image = BuildTestImage(PluginImageLayout(false));
    const uint32_t r = image.resourceDirectory;
    const uint32_t outside = static_cast<uint32_t>(image.bytes.size());
    const struct {
        const char* what;
        size_t at;
        uint32_t value;
        int32_t outside;
    } cases[] = {
        {"a whole image", 0, 0, 0},
        {"a type name outside", r + 16, 0x80000000 | (outside - r), 1},
        {"a name directory outside", r + 16 + 4, 0x80000000 | (outside - r), 1},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes = image.bytes;
        if (c.at != 0) Put32(&bytes, c.at, c.value);
        std::vector<ResourceLeaf> table(kResourceLeafCapacity);
        int32_t counted = -1;
        ListNamedResources(View(bytes), r, image.resourceDelta, table.data(), kResourceLeafCapacity, &counted);
        EXPECT_EQ(counted, c.outside) << c.what;
    }
}

// Directories that point at themselves end, within the walk's budget.
TEST(NamedResources, SelfReferenceEnds) {
    TestImageLayout layout;
    layout.resources.push_back({"LOOP", 0, 1, {9}});
    TestImage image = BuildTestImage(layout);
    const uint32_t r = image.resourceDirectory;
    Put16(&image.bytes, r + 12, 0xFFFF);          // named types: as many as fit
    Put32(&image.bytes, r + 16 + 4, 0x80000000);  // type 0's names: the root itself
    Put16(&image.bytes, r + 14, 0xFFFF);
    const std::vector<ResourceLeaf> leaves = Leaves(image.bytes, r, image.resourceDelta);
    EXPECT_LE(leaves.size(), 8u);
}

}  // namespace
