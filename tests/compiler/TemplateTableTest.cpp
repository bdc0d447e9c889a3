// The template catalogue against the documented catalogue:
// rows in order, shared and identical bodies, the structural byte images,
// and the lookups FindTemplate and FindArity.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "CompilerTestSupport.h"
#include "TemplateTable.h"

namespace {

using fablix_test::TemplateBytes;

struct Row {
    const char* name;
    int16_t arity;
    uint32_t length;
};

// The documented catalogue, in row order.
constexpr Row kDocumentedRows[] = {
    {"prolog", 0, 10}, {"x", 0, 3},      {"xmin", 0, 4},  {"xmax", 0, 4},   {"X", 0, 4},       {"y", 0, 8},
    {"ymin", 0, 4},    {"ymax", 0, 4},   {"Y", 0, 4},     {"p", 0, 4},      {"pmin", 0, 4},    {"pmax", 0, 4},
    {"P", 0, 4},       {"t", 0, 4},      {"tmin", 0, 4},  {"tmax", 0, 4},   {"total", 0, 4},   {"T", 0, 4},
    {"a0", 0, 12},     {"a", 0, 12},     {"r0", 0, 12},   {"r", 0, 12},     {"g0", 0, 12},     {"g", 0, 12},
    {"b0", 0, 11},     {"b", 0, 11},     {"c0", 0, 17},   {"c", 0, 17},     {"a1", 0, 12},     {"r1", 0, 12},
    {"g1", 0, 12},     {"b1", 0, 11},    {"c1", 0, 17},   {"number", 0, 2}, {"R", 0, 6},       {"G", 0, 6},
    {"B", 0, 6},       {"C", 0, 6},      {"dmin", 0, 6},  {"mmin", 0, 3},   {"D", 0, 6},       {"dmax", 0, 6},
    {"d", 0, 116},     {"M", 0, 69},     {"mmax", 0, 69}, {"m", 0, 84},     {"i", 0, 48},      {"i0", 0, 48},
    {"u", 0, 38},      {"u0", 0, 38},    {"v", 0, 39},    {"v0", 0, 39},    {"i1", 0, 48},     {"u1", 0, 38},
    {"v1", 0, 39},     {"+", 0, 3},      {"-", 0, 5},     {"*", 0, 3},      {"/", 0, 9},       {"%", 0, 11},
    {"negate", 0, 2},  {"&&", 0, 19},    {"||", 0, 19},   {"!", 0, 10},     {"~", 0, 2},       {"&", 0, 3},
    {"|", 0, 3},       {"^", 0, 3},      {"<<", 0, 4},    {">>", 0, 4},     {"==", 0, 13},     {"!=", 0, 11},
    {"<", 0, 12},      {"<=", 0, 12},    {">", 0, 12},    {">=", 0, 12},    {",", 0, 1},       {"?", 0, 8},
    {"min", 2, 7},     {"max", 2, 7},    {"abs", 1, 9},   {"add", 3, 10},   {"sub", 3, 10},    {"dif", 2, 12},
    {"ctl", 1, 15},    {"val", 3, 26},   {"map", 2, 25},  {"scl", 5, 29},   {"sqr", 1, 33},    {"sqrt", 1, 33},
    {"get", 1, 18},    {"put", 2, 17},   {"rnd", 2, 71},  {"rad", 3, 171},  {"rad0", 3, 171},  {"src", 3, 82},
    {"src0", 3, 82},   {"rad1", 3, 171}, {"src1", 3, 82}, {"mix", 4, 28},   {"cnv0", 10, 202}, {"cnv", 10, 202},
    {"cnv1", 10, 202}, {"c2m", 2, 57},   {"c2d", 2, 92},  {"r2y", 2, 35},   {"r2x", 2, 29},    {"tan", 1, 59},
    {"sin", 1, 30},    {"cos", 1, 25},   {"debug", 0, 4}, {"error", 0, 3},  {"epilog", 0, 7},
};
constexpr int32_t kDocumentedRowCount = sizeof(kDocumentedRows) / sizeof(kDocumentedRows[0]);

const Template* Row(const char* name) { return FindRow(kTemplateTable, name); }

TEST(TemplateCatalogue, RowsMatchTheDocumentedCatalogueInOrder) {
    ASSERT_EQ(kDocumentedRowCount, 113);
    ASSERT_EQ(kTemplateRowCount, kDocumentedRowCount);
    for (int32_t i = 0; i < kDocumentedRowCount; ++i) {
        SCOPED_TRACE("row " + std::to_string(i) + " \"" + kDocumentedRows[i].name + "\"");
        const Template& row = kTemplateTable[i];
        EXPECT_EQ(std::string(row.name, strnlen(row.name, sizeof row.name)), kDocumentedRows[i].name);
        EXPECT_EQ(row.name[sizeof row.name - 1], 0);  // at most 7 characters
        EXPECT_EQ(row.arity, kDocumentedRows[i].arity);
        EXPECT_EQ(row.length, kDocumentedRows[i].length);
    }
    EXPECT_EQ(kTemplateTable[kDocumentedRowCount].name[0], 0);  // the terminating row
}

TEST(TemplateCatalogue, NamesAreUnique) {
    std::set<std::string> names;
    for (int32_t i = 0; i < kTemplateRowCount; ++i) names.insert(kTemplateTable[i].name);
    EXPECT_EQ(static_cast<int32_t>(names.size()), kTemplateRowCount);
}

// Synonyms: several rows, one body.
TEST(TemplateCatalogue, SynonymsShareOneCodeOffset) {
    const std::vector<std::vector<const char*>> groups = {
        {"a0", "a"},          {"r0", "r"},     {"g0", "g"},     {"b0", "b"},     {"c0", "c"},
        {"R", "G", "B", "C"}, {"D", "dmax"},   {"M", "mmax"},   {"i", "i0"},     {"u", "u0"},
        {"v", "v0"},          {"sqr", "sqrt"}, {"rad", "rad0"}, {"src", "src0"}, {"cnv0", "cnv"},
    };
    for (const auto& group : groups) {
        SCOPED_TRACE(group[0]);
        for (const char* name : group) {
            ASSERT_NE(Row(name), nullptr) << name;
            EXPECT_EQ(Row(name)->codeOffset, Row(group[0])->codeOffset) << name;
            EXPECT_EQ(Row(name)->length, Row(group[0])->length) << name;
        }
    }
}

// Bodies of their own with identical bytes: separate offsets, same code.
TEST(TemplateCatalogue, IdenticalBodiesHaveOwnOffsetsAndEqualBytes) {
    const std::vector<std::vector<const char*>> groups = {
        {"xmax", "X"},   {"ymax", "Y"},   {"pmax", "P"}, {"tmax", "total", "T"},
        {"a", "a1"},     {"r", "r1"},     {"g", "g1"},   {"b", "b1"},
        {"c", "c1"},     {"i", "i1"},     {"u", "u1"},   {"v", "v1"},
        {"src", "src1"}, {"cnv", "cnv1"},
    };
    for (const auto& group : groups) {
        SCOPED_TRACE(group[0]);
        for (size_t k = 1; k < group.size(); ++k) {
            ASSERT_NE(Row(group[k]), nullptr) << group[k];
            EXPECT_NE(Row(group[k])->codeOffset, Row(group[0])->codeOffset) << group[k];
            EXPECT_EQ(TemplateBytes(group[k]), TemplateBytes(group[0])) << group[k];
        }
    }
}

TEST(TemplateCatalogue, Rad1DiffersFromRad) {
    EXPECT_NE(Row("rad1")->codeOffset, Row("rad")->codeOffset);
    EXPECT_EQ(Row("rad1")->length, Row("rad")->length);
    EXPECT_NE(TemplateBytes("rad1"), TemplateBytes("rad"));
}

TEST(TemplateCatalogue, CosIsTheLast25BytesOfSin) {
    const Template* sin = Row("sin");
    const Template* cos = Row("cos");
    ASSERT_EQ(sin->length, 30u);
    ASSERT_EQ(cos->length, 25u);
    EXPECT_EQ(cos->codeOffset, sin->codeOffset + 5);
    const std::vector<uint8_t> sinBytes = TemplateBytes("sin");
    EXPECT_EQ(std::vector<uint8_t>(sinBytes.begin() + 5, sinBytes.end()), TemplateBytes("cos"));
    EXPECT_NE(TemplateBytes("sin")[0], TemplateBytes("cos")[0]);  // two operations
}

// The bodies, synonyms once and "cos" inside "sin", fill the code block
// exactly and never overlap.
TEST(TemplateCatalogue, BodiesTileTheCodeBlock) {
    EXPECT_EQ(kTemplateCodeSize, 2475);
    std::vector<int32_t> owner(kTemplateCodeSize, -1);
    int32_t covered = 0;
    for (int32_t i = 0; i < kTemplateRowCount; ++i) {
        const Template& row = kTemplateTable[i];
        SCOPED_TRACE(row.name);
        ASSERT_GE(row.codeOffset, 0);
        ASSERT_LE(row.codeOffset + static_cast<int32_t>(row.length), kTemplateCodeSize);
        if (i > 0 && row.codeOffset == kTemplateTable[i - 1].codeOffset) continue;  // synonym
        if (std::strcmp(row.name, "cos") == 0) continue;                            // inside "sin"
        for (uint32_t k = 0; k < row.length; ++k) {
            EXPECT_EQ(owner[row.codeOffset + k], -1) << "overlap at " << row.codeOffset + k;
            owner[row.codeOffset + k] = i;
        }
        covered += static_cast<int32_t>(row.length);
    }
    EXPECT_EQ(covered, kTemplateCodeSize);
}

TEST(TemplateCatalogue, StructuralTemplatesCarryTheirByteImages) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"prolog", {0x53, 0x56, 0x57, 0x55, 0x8B, 0xEC, 0x8B, 0x74, 0x24, 0x14}},
        {"number", {0x50, 0xB8}},
        {"error", {0x33, 0xC0, 0xC3}},
        {"epilog", {0x8B, 0xE5, 0x5D, 0x5F, 0x5E, 0x5B, 0xC3}},
    };
    for (const Case& c : cases) EXPECT_EQ(TemplateBytes(c.name), c.bytes) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(kPrologBytes, kPrologBytes + kPrologSize), cases[0].bytes);
    EXPECT_EQ(std::vector<uint8_t>(kErrorBytes, kErrorBytes + kErrorSize), cases[2].bytes);
    EXPECT_EQ(std::vector<uint8_t>(kEpilogBytes, kEpilogBytes + kEpilogSize), cases[3].bytes);
}

// No operation's first byte is the first byte of a structural template, so
// an area decodes one way only; synonyms and identical bodies share it.
TEST(TemplateCatalogue, OperationBytesNeverStartLikeStructuralTemplates) {
    const std::set<std::string> structural = {"prolog", "number", "error", "epilog"};
    for (int32_t i = 0; i < kTemplateRowCount; ++i) {
        const Template& row = kTemplateTable[i];
        if (structural.count(row.name)) continue;
        const uint8_t first = kTemplateCode[row.codeOffset];
        SCOPED_TRACE(row.name);
        EXPECT_GE(first, kOpBase);
        EXPECT_LT(first, kOpBase + kOpCount);
        EXPECT_NE(first, kPrologFirstByte);
        EXPECT_NE(first, kNumberFirstByte);
        EXPECT_NE(first, kErrorFirstByte);
        EXPECT_NE(first, kEpilogFirstByte);
        EXPECT_EQ(kOpLength[first - kOpBase], row.length);
    }
}

struct LookupCase {
    const char* name;
    bool found;
    const char* row;  // the row it finds
};

TEST(FindTemplate, IsByteExactAndCaseSensitive) {
    const LookupCase cases[] = {
        {"!=", true, "!="},
        {"==", true, "=="},
        {"r", true, "r"},
        {"R", true, "R"},
        {"sqrt", true, "sqrt"},
        {"total", true, "total"},
        {"prolog", true, "prolog"},
        {"epilog", true, "epilog"},
        {"negate", true, "negate"},
        {"Sin", false, nullptr},
        {"SIN", false, nullptr},
        {"Min", false, nullptr},
        {"XMIN", false, nullptr},
        {"Total", false, nullptr},
        {"Prolog", false, nullptr},
        {"si", false, nullptr},
        {"sinx", false, nullptr},
        {"sin ", false, nullptr},
        {" sin", false, nullptr},
        {"=", false, nullptr},
        {"<>", false, nullptr},
        {"", false, nullptr},
        {"foo", false, nullptr},
        // eight characters or more are never found
        {"prologue", false, nullptr},
        {"sqrtsqrt", false, nullptr},
        {"totaltot", false, nullptr},
        {"abcdefgh", false, nullptr},
        {"epilogxx", false, nullptr},
        {"xxxxxxxxxxxxxxxxxxxxxx", false, nullptr},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.name + "\"");
        const uint8_t* code = reinterpret_cast<const uint8_t*>(1);
        int32_t length = -1;
        EXPECT_EQ(FindTemplate(kTemplateTable, c.name, &code, &length), c.found);
        if (c.found) {
            const Template* row = Row(c.row);
            ASSERT_NE(row, nullptr);
            EXPECT_EQ(code, kTemplateCode + row->codeOffset);
            EXPECT_EQ(length, static_cast<int32_t>(row->length));
        } else {
            EXPECT_EQ(code, nullptr);
            EXPECT_EQ(length, 0);
            EXPECT_EQ(Row(c.name), nullptr);
        }
    }
}

TEST(FindTemplate, FindsEveryRowByItsOwnName) {
    for (int32_t i = 0; i < kTemplateRowCount; ++i) {
        EXPECT_EQ(Row(kTemplateTable[i].name), &kTemplateTable[i]) << kTemplateTable[i].name;
    }
}

TEST(FindTemplate, SqrtAndSqrGiveTheSameCodeAndSoDoRAndC) {
    const uint8_t* a = nullptr;
    const uint8_t* b = nullptr;
    int32_t la = 0, lb = 0;
    ASSERT_TRUE(FindTemplate(kTemplateTable, "sqr", &a, &la));
    ASSERT_TRUE(FindTemplate(kTemplateTable, "sqrt", &b, &lb));
    EXPECT_EQ(a, b);
    EXPECT_EQ(la, 33);
    EXPECT_EQ(lb, 33);
    ASSERT_TRUE(FindTemplate(kTemplateTable, "R", &a, &la));
    ASSERT_TRUE(FindTemplate(kTemplateTable, "C", &b, &lb));
    EXPECT_EQ(a, b);
    EXPECT_EQ(la, 6);
}

TEST(FindArity, GivesEveryUsableRowItsArity) {
    const std::set<std::string> refused = {"prolog", "epilog", "number", "error", "negate"};
    for (int32_t i = 0; i < kTemplateRowCount; ++i) {
        const Template& row = kTemplateTable[i];
        SCOPED_TRACE(row.name);
        int32_t arity = -7;
        const bool found = FindArity(kTemplateTable, row.name, &arity);
        EXPECT_EQ(found, refused.count(row.name) == 0);
        EXPECT_EQ(arity, found ? row.arity : 0);
    }
}

TEST(FindArity, RefusesUnknownNames) {
    for (const char* name : {"foo", "Sin", "sqrtx", "", "abcdefgh", "Number", "PROLOG"}) {
        int32_t arity = -7;
        EXPECT_FALSE(FindArity(kTemplateTable, name, &arity)) << name;
        EXPECT_EQ(arity, 0) << name;
    }
}

}  // namespace
