// The plug-in's resources as the resources port hands them out: which exist
// and how large, how copies are bounded, the bytes of the host resources,
// the two parameter blocks and the string table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FilterParams.h"
#include "RESOURCE.h"
#include "Resources.h"
#include "TestBlocks.h"

namespace {

const ResourceKey kRcData = ResourceNumber(FABLIX_RT_RCDATA);

std::vector<uint8_t> Load(ResourceKey type, ResourceKey name) {
    int32_t size = ResourceSize(type, name);
    if (size < 0) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    EXPECT_EQ(CopyResource(type, name, bytes.data(), size), size);
    return bytes;
}

FilterParams LoadParams() {
    FilterParams p;
    std::memset(&p, 0x55, sizeof p);
    EXPECT_EQ(CopyResource(ResourceText(FABLIX_RT_PARM), ResourceNumber(IDR_PARM), &p, sizeof p), kFilterParamsSize);
    return p;
}

// ---------------------------------------------------------------------------
// What exists

struct Existing {
    ResourceKey type;
    ResourceKey name;
    int32_t size;
};

TEST(ResourceDirectory, EveryResourceHasItsSize) {
    const Existing cases[] = {
        {ResourceText("FLTD"), ResourceNumber(1), 50},       {ResourceText("FLVS"), ResourceNumber(1000), 4},
        {ResourceText("PARM"), ResourceNumber(16000), 8300}, {ResourceText("TEXT"), ResourceNumber(1000), 253},
        {ResourceText("TYPE"), ResourceNumber(1000), 6},     {ResourceNumber(10), ResourceText("COSINE"), 512},
        {ResourceNumber(10), ResourceText("ARCTAN"), 2048},  {ResourceNumber(10), ResourceText("VECTOR"), 2048},
    };
    for (const Existing& c : cases)
        EXPECT_EQ(ResourceSize(c.type, c.name), c.size) << (c.type.text ? c.type.text : c.name.text);
}

TEST(ResourceDirectory, TypeAndNameTextsIgnoreCase) {
    EXPECT_EQ(ResourceSize(ResourceText("parm"), ResourceNumber(16000)), 8300);
    EXPECT_EQ(ResourceSize(kRcData, ResourceText("Cosine")), 512);
}

TEST(ResourceDirectory, AbsentCombinationsAreNotFound) {
    const Existing cases[] = {
        {ResourceText("PARM"), ResourceNumber(16001), 0},   // wrong id
        {ResourceText("PARMS"), ResourceNumber(16000), 0},  // longer type text
        {ResourceText("PAR"), ResourceNumber(16000), 0},    // shorter type text
        {ResourceText("TEXT"), ResourceNumber(1), 0},
        {ResourceNumber(16000), ResourceText("PARM"), 0},     // type and name swapped
        {ResourceNumber(11), ResourceText("COSINE"), 0},      // wrong numeric type
        {ResourceText("RCDATA"), ResourceText("COSINE"), 0},  // a text never matches a number
        {kRcData, ResourceNumber(0), 0},
        {kRcData, ResourceText("SINE"), 0},
    };
    for (const Existing& c : cases) EXPECT_EQ(ResourceSize(c.type, c.name), kResourceNotFound);
}

// ---------------------------------------------------------------------------
// Bounded copies

TEST(ResourceCopy, SmallerCapacityCopiesOnlyThatMuch) {
    std::vector<uint8_t> whole = Load(kRcData, ResourceText("ARCTAN"));
    ASSERT_EQ(whole.size(), 2048u);
    uint8_t part[100];
    std::memset(part, 0xEE, sizeof part);
    EXPECT_EQ(CopyResource(kRcData, ResourceText("ARCTAN"), part, 10), 10);
    EXPECT_EQ(std::memcmp(part, whole.data(), 10), 0);
    for (int i = 10; i < 100; i++) ASSERT_EQ(part[i], 0xEE) << i;
}

TEST(ResourceCopy, LargerCapacityCopiesTheWholeResource) {
    uint8_t room[600];
    std::memset(room, 0xEE, sizeof room);
    EXPECT_EQ(CopyResource(kRcData, ResourceText("COSINE"), room, sizeof room), 512);
    EXPECT_EQ(room[0], 0x00);  // 16384 little-endian
    EXPECT_EQ(room[1], 0x40);
    for (size_t i = 512; i < sizeof room; i++) ASSERT_EQ(room[i], 0xEE) << i;
}

TEST(ResourceCopy, ZeroCapacityCopiesNothing) {
    EXPECT_EQ(CopyResource(kRcData, ResourceText("COSINE"), nullptr, 0), 0);
}

TEST(ResourceCopy, MissingResourceLeavesTheDestinationUnchanged) {
    uint8_t room[64];
    std::memset(room, 0x3C, sizeof room);
    EXPECT_EQ(CopyResource(kRcData, ResourceText("SINE"), room, sizeof room), kResourceNotFound);
    EXPECT_EQ(CopyResource(ResourceText("PARM"), ResourceNumber(1), room, sizeof room), kResourceNotFound);
    for (uint8_t b : room) ASSERT_EQ(b, 0x3C);
}

TEST(ResourceCopy, BadArgumentsAreRefused) {
    uint8_t room[4] = {1, 2, 3, 4};
    EXPECT_EQ(CopyResource(kRcData, ResourceText("COSINE"), nullptr, 4), kResourceBadArgument);
    EXPECT_EQ(CopyResource(kRcData, ResourceText("COSINE"), room, -1), kResourceBadArgument);
    EXPECT_EQ(room[0], 1);
}

// ---------------------------------------------------------------------------
// The resources the host reads, byte for byte

struct HostBytes {
    const char* type;
    int32_t id;
    std::vector<uint8_t> bytes;
};

TEST(HostResources, DescriptorVersionAndTypeAreExact) {
    const HostBytes cases[] = {
        {"FLTD", 1, {0, 0, 0, 0, 0xBE, 0x65, 0, 0, 4, 0, 0, 0, 4, 0, 0, 0, 4, 0, 3, 0, 0, 0, 3, 0, 0,
                     0, 3, 0, 0, 0,    3,    0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0}},
        {"FLVS", 1000, {0x00, 0x00, 0x03, 0x00}},
        {"TYPE", 1000, {0, 0, 't', 'l', 'F', 'V'}},
    };
    for (const HostBytes& c : cases) EXPECT_EQ(Load(ResourceText(c.type), ResourceNumber(c.id)), c.bytes) << c.type;
}

TEST(HostResources, TextIsTwoZerosTheMenuTitleAndZeroFill) {
    std::vector<uint8_t> text = Load(ResourceText("TEXT"), ResourceNumber(1000));
    ASSERT_EQ(text.size(), 253u);
    std::vector<uint8_t> expected(253, 0);
    const char title[] = "Custom:Fablix...";  // the editor opens a dialog: "..."
    std::memcpy(expected.data() + 2, title, sizeof title - 1);
    EXPECT_EQ(text, expected);
}

// ---------------------------------------------------------------------------
// Parameter blocks

const char* const kFormulaSliders45 =
    "sin((x-scl(cos(y),-511,512,0,Y))*val(4,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(5,0,64))";
const char* const kFormulaSliders23 =
    "sin((x-scl(cos(y),-511,512,0,Y))*val(2,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(3,0,64))";
const char* const kFormulaSliders01 =
    "sin((x-scl(cos(y),-511,512,0,Y))*val(0,0,64))-sin((y-scl(cos(x),-511,512,0,X))*val(1,0,64))";

// The fields both blocks share; unset bytes are zero.
FilterParams CommonBlock() {
    FilterParams p;
    std::memset(&p, 0, sizeof p);
    p.size = 8300;
    const int32_t sliders[8] = {21, 99, 141, 67, 54, 16, 130, 56};
    std::memcpy(p.sliderValue, sliders, sizeof sliders);
    p.hasControls = 1;
    for (int i = 0; i < 6; i++) p.sliderEnabled[i] = 1;
    const char* sliderNames[8] = {"Redx", "Redy", "Greenx", "Greeny", "Bluex", "Bluey", "Slider 6:", "Slider 7:"};
    for (int i = 0; i < 8; i++) std::strcpy(p.sliderName[i], sliderNames[i]);
    for (int i = 0; i < 4; i++) std::snprintf(p.mapName[i], sizeof p.mapName[i], "Map %d", i);
    std::strcpy(p.formula[0], kFormulaSliders45);
    std::strcpy(p.formula[1], kFormulaSliders23);
    std::strcpy(p.formula[2], kFormulaSliders01);
    std::strcpy(p.formula[3], "a");
    return p;
}

TEST(EditorBlock, IsAnEditorBlockWithTheExampleFormulas) {
    FilterParams p = LoadParams();
    EXPECT_EQ(p.size, 8300);
    EXPECT_EQ(p.built, 0);
    EXPECT_EQ(p.singleExpression, 0);
    const int32_t sliders[8] = {21, 99, 141, 67, 54, 16, 130, 56};
    for (int i = 0; i < 8; i++) EXPECT_EQ(p.sliderValue[i], sliders[i]) << i;
    EXPECT_STREQ(p.formula[0], kFormulaSliders45);
    EXPECT_STREQ(p.formula[1], kFormulaSliders23);
    EXPECT_STREQ(p.formula[2], kFormulaSliders01);
    EXPECT_STREQ(p.formula[3], "a");
    EXPECT_STREQ(p.title, "Custom:Fablix");
}

TEST(EditorBlock, EveryByteIsAsDefined) {
    FilterParams expected = CommonBlock();
    expected.built = 0;
    std::strcpy(expected.title, "Custom:Fablix");
    std::strcpy(expected.author, "Made with Fablix");
    std::strcpy(expected.moduleName, "MyFilter");
    std::strcpy(expected.notice, "Made with Fablix, the formula filter maker.");
    FilterParams p = LoadParams();
    EXPECT_EQ(std::memcmp(&p, &expected, sizeof p), 0);
}

TEST(SeventiesPopBlock, IsABuiltBlockWithControls) {
    FilterParams p;
    std::memcpy(&p, kSeventiesPopBlock, sizeof p);
    EXPECT_EQ(p.size, 8300);
    EXPECT_EQ(p.built, 1);
    EXPECT_EQ(p.singleExpression, 0);
    EXPECT_EQ(p.hasControls, 1);
    EXPECT_STREQ(p.moduleName, "70sPop");
    EXPECT_STREQ(p.author, "Freeware");
    const int32_t sliders[8] = {21, 99, 141, 67, 54, 16, 130, 56};
    const int32_t enabled[8] = {1, 1, 1, 1, 1, 1, 0, 0};
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(p.sliderValue[i], sliders[i]) << i;
        EXPECT_EQ(p.sliderEnabled[i], enabled[i]) << i;
    }
    for (int i = 0; i < 4; i++) EXPECT_EQ(p.mapEnabled[i], 0) << i;
    for (int i = 0; i < 3; i++) EXPECT_EQ(p.reserved[i], 0) << i;
    const char* names[8] = {"Redx", "Redy", "Greenx", "Greeny", "Bluex", "Bluey", "Slider 6:", "Slider 7:"};
    for (int i = 0; i < 8; i++) EXPECT_STREQ(p.sliderName[i], names[i]) << i;
    const char* maps[4] = {"Map 0", "Map 1", "Map 2", "Map 3"};
    for (int i = 0; i < 4; i++) EXPECT_STREQ(p.mapName[i], maps[i]) << i;
    EXPECT_STREQ(p.formula[0], kFormulaSliders45);
    EXPECT_STREQ(p.formula[1], kFormulaSliders23);
    EXPECT_STREQ(p.formula[2], kFormulaSliders01);
    EXPECT_STREQ(p.formula[3], "a");
}

TEST(SeventiesPopBlock, EveryByteIsAsDefined) {
    FilterParams expected = CommonBlock();
    expected.built = 1;
    std::strcpy(expected.title, "Artistic:70s Pop");
    std::strcpy(expected.author, "Freeware");
    std::strcpy(expected.moduleName, "70sPop");
    std::strcpy(expected.notice, "Colour ripples in the style of a seventies poster.");
    EXPECT_EQ(std::memcmp(kSeventiesPopBlock, &expected, sizeof expected), 0);
}

TEST(SeventiesPopBlock, BinFileHoldsTheSameBytes) {
    FILE* f = std::fopen(FABLIX_SEVENTIES_POP_BIN, "rb");
    ASSERT_NE(f, nullptr) << FABLIX_SEVENTIES_POP_BIN;
    std::vector<uint8_t> bytes(9000);
    size_t n = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ASSERT_EQ(n, 8300u);
    EXPECT_EQ(std::memcmp(bytes.data(), kSeventiesPopBlock, n), 0);
}

TEST(SeventiesPopBlock, IsNotAResourceOfThePlugin) {
    FilterParams p = LoadParams();
    EXPECT_NE(std::memcmp(&p, kSeventiesPopBlock, sizeof p), 0);
}

// ---------------------------------------------------------------------------
// The string table

struct StringCase {
    int32_t id;
    const char* text;
};

const StringCase kStrings[] = {
    {1024, "Settings (*.fbl)!*.fbl!All Files (*.*)!*.*!"},
    {1025, "An error occured while trying to open the settings file."},
    {1026, "An error occured while trying to write to the settings file."},
    {1027, "An error occured while trying to read from the settings file."},
    {1029, "An error occured while trying to create the dialog."},
    {1030, "Plug-ins (*.rvp)!*.rvp!All Files (*.*)!*.*!"},
    {1031, "%s Settings"},
    {1032, "The module name you have chosen is a reserved name.  Please choose a different module name."},
    {1033, "A plug-in with this module name already exists.  Please choose a different module name."},
    {1034,
     "Custom plug-in created and placed in the Reelvane plug-ins folder (%s).\r\n\r\n"
     "This plug-in will become available the next time you start Reelvane."},
    {1035, "Please enter a module name: the new plug-in's file is named after it."},
};

TEST(StringTable, EveryTextIsExact) {
    for (const StringCase& c : kStrings) {
        char buffer[256];
        int32_t n = LoadResourceString(c.id, buffer, sizeof buffer);
        EXPECT_EQ(n, static_cast<int32_t>(std::strlen(c.text))) << c.id;
        EXPECT_STREQ(buffer, c.text) << c.id;
    }
}

TEST(StringTable, IdsOutsideTheTableAreNotFound) {
    for (int32_t id : {1023, 1028, 1036, 0, -1}) {
        char buffer[8] = "xxxxxxx";
        EXPECT_EQ(LoadResourceString(id, buffer, sizeof buffer), kResourceNotFound) << id;
        EXPECT_EQ(buffer[0], '\0') << id;
    }
}

TEST(StringTable, LongTextIsCutToTheBufferAndTerminated) {
    char buffer[12];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(LoadResourceString(IDS_OPEN_FAILED, buffer, sizeof buffer), 11);
    EXPECT_STREQ(buffer, "An error oc");
    EXPECT_EQ(LoadResourceString(IDS_SETTINGS_CAPTION, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(StringTable, IdsMatchTheirNames) {
    const StringCase named[] = {
        {IDS_SETTINGS_FILTER, kStrings[0].text},      {IDS_OPEN_FAILED, kStrings[1].text},
        {IDS_WRITE_FAILED, kStrings[2].text},         {IDS_READ_FAILED, kStrings[3].text},
        {IDS_CREATE_DIALOG_FAILED, kStrings[4].text}, {IDS_PLUGIN_FILTER, kStrings[5].text},
        {IDS_SETTINGS_CAPTION, kStrings[6].text},     {IDS_RESERVED_NAME, kStrings[7].text},
        {IDS_NAME_EXISTS, kStrings[8].text},          {IDS_PLUGIN_CREATED, kStrings[9].text},
    };
    for (const StringCase& c : named) {
        char buffer[256];
        LoadResourceString(c.id, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.text) << c.id;
    }
}

}  // namespace
