// The writer on images built byte by byte (32-bit and 64-bit): the written
// plug-in must equal its image with exactly the three patches applied, and
// every failure must show its messages in order and leave the target as
// the failure table says.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DialogContext.h"
#include "ImageReader.h"
#include "PluginPath.h"
#include "PluginWriter.h"
#include "RESOURCE.h"
#include "ReelInfoTest.h"
#include "TestImage.h"
#include "WriterTestSupport.h"

namespace {

constexpr size_t kParmLeaf = 2;
constexpr size_t kTextLeaf = 3;
const std::string kOwnName = "FL-Fabx.rvp";

// Old TEXT data whose bytes all differ from what a title writes, with a
// title longer than the new ones.
std::vector<uint8_t> OldText() {
    std::vector<uint8_t> text(253, 0xEE);
    text[0] = 0xAB;
    text[1] = 0xCD;
    const char old[] = "Category:An old title longer than any new one";
    memcpy(text.data() + 2, old, sizeof old);
    return text;
}

// The images the writer is tried on: the test images built here (their
// TEXT holding OldText) and the real ones, when their builds exist.
enum class Source { kTest32, kTest64, kReal32, kReal64 };

// An image and where its three patches go.
struct SourceImage {
    std::vector<uint8_t> bytes;  // empty when the image is not built here
    uint32_t dllName = 0;
    uint32_t parm = 0;
    uint32_t text = 0;
};

// The real image's offsets come from the reader, whose offsets the reader's
// own tests check against the resources' bytes.
SourceImage RealSource(bool wide) {
    SourceImage source;
    source.bytes = ReadFile(RealImagePath(wide));
    ImageDirectories found{};
    if (LocateDirectories({source.bytes.data(), source.bytes.size()}, &found) != kImageFound) return source;
    ResourceLeaf leaves[kResourceLeafCapacity];
    const int32_t count = ListNamedResources({source.bytes.data(), source.bytes.size()}, found.resourceDirectory,
                                             found.resourceDelta, leaves, kResourceLeafCapacity);
    source.dllName = found.dllName;
    if (count > static_cast<int32_t>(kTextLeaf)) {
        source.parm = leaves[kParmLeaf].dataOffset;
        source.text = leaves[kTextLeaf].dataOffset;
    }
    return source;
}

SourceImage LoadSource(Source which) {
    if (which == Source::kReal32 || which == Source::kReal64) return RealSource(which == Source::kReal64);
    TestImageLayout layout = PluginImageLayout(which == Source::kTest64);
    layout.resources[kTextLeaf].data = OldText();
    const TestImage image = BuildTestImage(layout);
    return SourceImage{image.bytes, image.dllName, image.dataOffsets[kParmLeaf], image.dataOffsets[kTextLeaf]};
}

// The image with its "TEXT" type renamed "TEXX": an image without TEXT.
std::vector<uint8_t> WithoutText(std::vector<uint8_t> bytes) {
    const uint8_t name[] = {4, 0, 'T', 0, 'E', 0, 'X', 0, 'T', 0};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(name), std::end(name));
    if (at != bytes.end()) at[8] = 'X';
    return bytes;
}

// Runs WritePlugin as the settings dialog's Build command does: the block
// reached through the window's DialogContext.
int32_t BuildFromDialog(const FilterParams* block, const Services* ports) {
    RvWindow window = reinterpret_cast<RvWindow>(0x5E771);
    RvHandle context = RvNewHandle(kDialogContextSize);
    static_cast<DialogContext*>(*context)->params = const_cast<FilterParams*>(block);
    RvSetDialogData(window, context);
    const int32_t result = WritePlugin(window, ports);
    RvSetDialogData(window, nullptr);
    RvDisposeHandle(context);
    return result;
}

// The image with the three patches, made here independently of the writer.
std::vector<uint8_t> Expected(const SourceImage& image, const FilterParams& block, const std::string& dllName,
                              const std::string& textTitle) {
    std::vector<uint8_t> bytes = image.bytes;
    memcpy(bytes.data() + image.dllName, dllName.c_str(), dllName.size());
    FilterParams built = block;
    built.built = 1;
    memcpy(bytes.data() + image.parm, &built, sizeof built);
    memcpy(bytes.data() + image.text + 2, textTitle.c_str(), textTitle.size() + 1);
    return bytes;
}

// Offsets where two files differ (a few, for the failure message).
std::string Differences(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    std::string list;
    for (size_t i = 0, shown = 0; i < a.size() && shown < 8; ++i)
        if (a[i] != b[i]) list += std::to_string(i) + (++shown < 8 ? " " : "...");
    return list.empty() ? "none" : "at " + list;
}

class Writer : public testing::TestWithParam<Source> {
protected:
    void SetUp() override {
        image_ = LoadSource(GetParam());
        if (image_.bytes.empty()) GTEST_SKIP() << "the image is not built; build the win32 and win64 presets";
    }
    SourceImage image_;
};

TEST_P(Writer, PatchesExactlyTheNameTheBlockAndTheTitle) {
    const std::string longTitle(253, 't');
    const struct {
        const char* module;
        std::string title;
        int32_t hasControls;
        std::string dllName;
        std::string textTitle;
    } cases[] = {
        {"Blur", "Blur", 0, "BlurZZZ.rvp", "Blur"},  // shorter over longer
        {"ABCDEFGH", "Fx:Eight", 1, "ABCDEFG.rvp", "Fx:Eight..."},
        {"", "Untitled", 0, "ZZZZZZZ.rvp", "Untitled"},                // target ".rvp"
        {"Long", longTitle, 0, "LongZZZ.rvp", std::string(250, 't')},  // cut to the TEXT data
        {"Dots", longTitle, 1, "DotsZZZ.rvp", std::string(247, 't') + "..."},
        {"Seven77", std::string(249, 's'), 0, "Seven77.rvp", std::string(249, 's')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("module '") + c.module + "'");
        TemporaryFolder folder;
        const SourceImage& image = image_;
        WriteFile(folder.path + kOwnName, image.bytes);
        const Services ports = RecordingPorts(folder.path + kOwnName);
        const FilterParams block = PatternBlock(c.title.c_str(), c.module, c.hasControls);
        const FilterParams before = block;
        const int32_t handles = RvTestLiveHandles();

        ASSERT_EQ(BuildFromDialog(&block, &ports), kWroteAll);
        const std::string target = folder.path + c.module + ".rvp";
        const std::vector<uint8_t> written = ReadFile(target);
        const std::vector<uint8_t> expected = Expected(image, block, c.dllName, c.textTitle);
        EXPECT_TRUE(written == expected) << "differences " << Differences(written, expected);
        ASSERT_EQ(Messages().size(), 1u);
        EXPECT_FALSE(Messages()[0].error);
        EXPECT_EQ(Messages()[0].caption, c.title);
        EXPECT_EQ(Messages()[0].text, MessageText(IDS_PLUGIN_CREATED, target));
        EXPECT_EQ(memcmp(&block, &before, sizeof block), 0) << "the live block changed";
        EXPECT_EQ(ReadFile(folder.path + kOwnName), image.bytes) << "the plug-in's own file changed";
        EXPECT_EQ(OpenPortHandles(), 0);
        EXPECT_EQ(RvTestLiveHandles(), handles);
    }
}

// No TEXT among the named types: only the DLL name is patched, PARM stays,
// and the build still succeeds.
TEST_P(Writer, ImageWithoutTextGetsOnlyItsName) {
    const std::vector<uint8_t> image = WithoutText(image_.bytes);
    ASSERT_NE(image, image_.bytes);
    TemporaryFolder folder;
    WriteFile(folder.path + kOwnName, image);
    const Services ports = RecordingPorts(folder.path + kOwnName);
    const FilterParams block = PatternBlock("Fx:Blur", "Blur", 1);
    ASSERT_EQ(WritePluginFile(&block, (folder.path + kOwnName).c_str(), (folder.path + "Blur.rvp").c_str(), &ports),
              kWroteNameOnly);
    std::vector<uint8_t> expected = image;
    memcpy(expected.data() + image_.dllName, "BlurZZZ", 7);
    EXPECT_EQ(ReadFile(folder.path + "Blur.rvp"), expected);
    ASSERT_EQ(Messages().size(), 1u);
    EXPECT_EQ(Messages()[0].text, MessageText(IDS_PLUGIN_CREATED, folder.path + "Blur.rvp"));
}

std::string SourceName(const testing::TestParamInfo<Source>& info) {
    constexpr const char* kNames[] = {"Test32", "Test64", "Real32", "Real64"};
    return kNames[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Images, Writer,
                         testing::Values(Source::kTest32, Source::kTest64, Source::kReal32, Source::kReal64),
                         SourceName);

enum class Fate { kAbsent, kEmpty };

TEST(WriterFailures, MessagesInOrderAndTheTargetsFate) {
    TestImageLayout noExport = PluginImageLayout(false);
    noExport.withExport = false;
    TestImageLayout shortName = PluginImageLayout(false);
    shortName.dllName = "FX.rvp";
    const std::vector<uint8_t> plugin = BuildTestImage(PluginImageLayout(false)).bytes;
    const std::vector<uint8_t> notPe = {'M', 'Z', 0, 0};
    const std::vector<uint8_t> cut(plugin.begin(), plugin.end() - 1);
    // PARM's data entry (its RVA, then its size) points past the end.
    const TestImage whole = BuildTestImage(PluginImageLayout(false));
    std::vector<uint8_t> parmOutside = whole.bytes;
    std::vector<uint8_t> parmEntry(8);
    Put32(&parmEntry, 0, whole.dataOffsets[kParmLeaf] - whole.resourceDelta);
    Put32(&parmEntry, 4, kFilterParamsSize);
    const auto entryAt = std::search(parmOutside.begin(), parmOutside.end(), parmEntry.begin(), parmEntry.end());
    if (entryAt != parmOutside.end()) Put32(&parmOutside, entryAt - parmOutside.begin(), 0x7FFFFF00);
    const struct {
        const char* what;
        FailingStep step;
        std::vector<uint8_t> image;
        bool failHandle;
        int32_t outcome;
        std::vector<int32_t> messages;
        Fate fate;
    } cases[] = {
        {"creating the target",
         FailingStep::kCreateTarget,
         plugin,
         false,
         kWriteCreateFailed,
         {IDS_OPEN_FAILED},
         Fate::kAbsent},
        {"opening the plug-in's file",
         FailingStep::kOpenSource,
         plugin,
         false,
         kWriteSourceFailed,
         {IDS_OPEN_FAILED},
         Fate::kEmpty},
        {"copying", FailingStep::kCopy, plugin, false, kWriteCopyFailed, {IDS_WRITE_FAILED}, Fate::kAbsent},
        {"opening or mapping the target",
         FailingStep::kMapTarget,
         plugin,
         false,
         kWriteMapFailed,
         {IDS_OPEN_FAILED},
         Fate::kAbsent},
        {"writing the mapping back",
         FailingStep::kUnmapTarget,
         plugin,
         false,
         kWriteNotWrittenBack,
         {IDS_WRITE_FAILED},
         Fate::kAbsent},
        {"an empty plug-in file", FailingStep::kNone, {}, false, kWriteMapFailed, {IDS_OPEN_FAILED}, Fate::kAbsent},
        {"not PE", FailingStep::kNone, notPe, false, kWriteNotPe, {IDS_OPEN_FAILED, IDS_WRITE_FAILED}, Fate::kAbsent},
        {"no export directory",
         FailingStep::kNone,
         BuildTestImage(noExport).bytes,
         false,
         kWriteNoDirectories,
         {IDS_WRITE_FAILED},
         Fate::kAbsent},
        {"a DLL name of 2 characters",
         FailingStep::kNone,
         BuildTestImage(shortName).bytes,
         false,
         kWriteNoDirectories,
         {IDS_WRITE_FAILED},
         Fate::kAbsent},
        {"no memory for the block's copy",
         FailingStep::kNone,
         plugin,
         true,
         kWriteNoMemory,
         {IDS_WRITE_FAILED},
         Fate::kAbsent},
        {"an image one byte short", FailingStep::kNone, cut, false, kWriteImageCut, {IDS_WRITE_FAILED}, Fate::kAbsent},
        {"PARM data past the end",
         FailingStep::kNone,
         parmOutside,
         false,
         kWriteImageCut,
         {IDS_WRITE_FAILED},
         Fate::kAbsent},
    };
    ASSERT_NE(parmOutside, whole.bytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryFolder folder;
        WriteFile(folder.path + kOwnName, c.image);
        const Services ports = RecordingPorts(folder.path + kOwnName, c.step);
        const FilterParams block = PatternBlock("Fx:Blur", "Blur", 0);
        const std::string target = folder.path + "Blur.rvp";
        if (c.failHandle) RvTestFailNextNewHandle();
        EXPECT_EQ(WritePluginFile(&block, (folder.path + kOwnName).c_str(), target.c_str(), &ports), c.outcome);
        ASSERT_EQ(Messages().size(), c.messages.size());
        for (size_t i = 0; i < c.messages.size(); ++i) {
            EXPECT_TRUE(Messages()[i].error);
            EXPECT_EQ(Messages()[i].caption, "Fx:Blur");
            EXPECT_EQ(Messages()[i].text, MessageText(c.messages[i])) << i;
        }
        EXPECT_EQ(FileExists(target), c.fate == Fate::kEmpty);
        if (c.fate == Fate::kEmpty) {
            EXPECT_TRUE(ReadFile(target).empty());
        }
        EXPECT_EQ(OpenPortHandles(), 0);
        EXPECT_EQ(ReadFile(folder.path + kOwnName), c.image);
    }
}

TEST(ModuleNames, LoadedModulesAndExistingPluginsAreRejected) {
    TemporaryFolder folder;
    WriteFile(folder.path + kOwnName, {1});
    WriteFile(folder.path + "Taken.rvp", {});
    std::filesystem::create_directory(folder.path + "Folder.rvp");
    const Services ports = RecordingPorts(folder.path + kOwnName);
    const struct {
        const char* name;
        int32_t result;
    } cases[] = {
        {"libc", IDS_RESERVED_NAME},  // libc.so.6
        {"libc.so.6", IDS_RESERVED_NAME},
        {"builder_tests", IDS_RESERVED_NAME},  // the program itself
        {"../Blur", IDS_RESERVED_NAME},        // a folder: outside the plug-in's folder
        {"C:Blur", IDS_RESERVED_NAME},
        {"FL-Fabx", IDS_NAME_EXISTS},  // the plug-in's own file
        {"Taken", IDS_NAME_EXISTS},
        {"Folder", IDS_NAME_EXISTS},
        {"Blur", 0},
        {"lib", 0},
        {"libc.so.7", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CheckModuleNameRules(c.name, &ports), c.result) << c.name;
    EXPECT_TRUE(Messages().empty());
}

// The names a Windows host has loaded, as Windows compares them, and the
// file names Windows cannot hold.
TEST(ModuleNames, WindowsHostModulesAndFileNames) {
    const struct {
        const char* name;
        bool loaded;
        int32_t fault;
    } cases[] = {
        {"FL-Fabx", true, kWindowsNameFine},
        {"fl-fabx.RVP", true, kWindowsNameFine},
        {"REELINFO", true, kWindowsNameFine},
        {"reelinfo.dll", true, kWindowsNameFine},
        {"Kernel32", true, kWindowsNameFine},
        {"COMCTL32", true, kWindowsNameFine},
        {"lz32", true, kWindowsNameFine},
        {"Reelvane", true, kWindowsNameFine},
        {"libc", false, kWindowsNameFine},
        {"kernel", false, kWindowsNameFine},
        {"kernel32x", false, kWindowsNameFine},
        {"FL-Fabx.dll", false, kWindowsNameFine},
        {"", false, kWindowsNameFine},
        {"CON", false, kWindowsNameDevice},
        {"nul", false, kWindowsNameDevice},
        {"Com7", false, kWindowsNameDevice},
        {"LPT1.txt", false, kWindowsNameDevice},
        {"PRN .x", false, kWindowsNameDevice},
        {"COM10", false, kWindowsNameFine},
        {"CONFIG", false, kWindowsNameFine},
        {"Blur.", false, kWindowsNameTrailingDotOrSpace},
        {"Blur ", false, kWindowsNameTrailingDotOrSpace},
        {"a:b", false, kWindowsNameReservedCharacter},
        {"a\\b", false, kWindowsNameReservedCharacter},
        {"a/b", false, kWindowsNameReservedCharacter},
        {"<>", false, kWindowsNameReservedCharacter},
        {"a?", false, kWindowsNameReservedCharacter},
        {"bell\a", false, kWindowsNameControlCharacter},
        {"\x1F", false, kWindowsNameControlCharacter},
        {"Caf\xC3\xA9", false, kWindowsNameFine},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWindowsHostModule(c.name), c.loaded) << c.name;
        EXPECT_EQ(WindowsFileNameFault(c.name), c.fault) << c.name;
    }
}

TEST(ModuleNames, PathsBesideThePlugin) {
    TemporaryFolder folder;
    const Services ports = RecordingPorts(folder.path + kOwnName);
    char buffer[kPathBufferSize];
    EXPECT_STREQ(MakePluginFolderPath(buffer, sizeof buffer, "Blur", "rvp", &ports),
                 (folder.path + "Blur.rvp").c_str());
    EXPECT_STREQ(MakePluginFolderPath(buffer, sizeof buffer, "Blur", ".rvp", &ports),
                 (folder.path + "Blur.rvp").c_str());
    EXPECT_STREQ(MakePluginFolderPath(buffer, sizeof buffer, nullptr, nullptr, &ports), folder.path.c_str());
    const std::string fits(kPathBufferSize - 1 - folder.path.size() - 4, 'n');
    EXPECT_STREQ(MakePluginFolderPath(buffer, sizeof buffer, fits.c_str(), "rvp", &ports),
                 (folder.path + fits + ".rvp").c_str());
    EXPECT_EQ(MakePluginFolderPath(buffer, sizeof buffer, (fits + "n").c_str(), "rvp", &ports), nullptr);
    const Services lost = RecordingPorts(std::string(kPathBufferSize, 'p'));
    EXPECT_EQ(MakePluginFolderPath(buffer, sizeof buffer, "Blur", "rvp", &lost), nullptr);
}

}  // namespace
