// The lookup tables: the stored resources against their formulas, the
// expansion of the cosine quarter to the full turn, and the loading into an
// InstanceState.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "InstanceState.h"
#include "LookupTables.h"
#include "RESOURCE.h"
#include "Resources.h"
#include "TableResources.h"

namespace {

// The formulas, computed in long double, independently of the generator.
int32_t CosineFormula(int32_t k) {
    return static_cast<int32_t>(std::lround(16384.0L * std::cos(2.0L * std::numbers::pi_v<long double> * k / 1024.0L)));
}
int32_t ArctanFormula(int32_t k) { return static_cast<int32_t>(std::lround(65536.0L * std::atan((k + 1) / 1024.0L))); }
int32_t VectorFormula(int32_t k) {
    long double q = k / 1024.0L;
    return static_cast<int32_t>(std::floor(65536.0L * (std::sqrt(1.0L + q * q) - 1.0L))) + 32;
}

std::vector<int32_t> LoadTable(const char* name, bool isSigned) {
    uint8_t bytes[2048];
    int32_t n = CopyResource(ResourceNumber(FABLIX_RT_RCDATA), ResourceText(name), bytes, sizeof bytes);
    std::vector<int32_t> values;
    for (int32_t i = 0; i + 1 < n; i += 2) {
        uint16_t u = static_cast<uint16_t>(bytes[i] | (bytes[i + 1] << 8));
        values.push_back(isSigned ? static_cast<int16_t>(u) : u);
    }
    return values;
}

std::unique_ptr<InstanceState> NewState(uint8_t fill) {
    auto state = std::make_unique<InstanceState>();
    std::memset(state.get(), fill, sizeof(InstanceState));
    return state;
}

// ---------------------------------------------------------------------------
// The resources

struct Point {
    int32_t index;
    int32_t value;
};

TEST(TableResources, CosineQuarterAtChosenIndices) {
    std::vector<int32_t> t = LoadTable(FABLIX_RC_COSINE, true);
    ASSERT_EQ(t.size(), 256u);
    const Point points[] = {{0, 16384}, {1, 16384}, {64, 15137}, {128, 11585}, {171, 8163}, {255, 101}};
    for (const Point& p : points) EXPECT_EQ(t[p.index], p.value) << p.index;
}

TEST(TableResources, ArctanAtChosenIndices) {
    std::vector<int32_t> t = LoadTable(FABLIX_RC_ARCTAN, false);
    ASSERT_EQ(t.size(), 1024u);
    const Point points[] = {{0, 64}, {1, 128}, {511, 30386}, {1023, 51472}};
    for (const Point& p : points) EXPECT_EQ(t[p.index], p.value) << p.index;
}

TEST(TableResources, VectorAtChosenIndices) {
    std::vector<int32_t> t = LoadTable(FABLIX_RC_VECTOR, false);
    ASSERT_EQ(t.size(), 1024u);
    // 768: sqrt(1 + 0.75^2) = 1.25 exactly, so 16384 + 32.
    const Point points[] = {{0, 32}, {1, 32}, {512, 7767}, {768, 16416}, {1023, 27132}};
    for (const Point& p : points) EXPECT_EQ(t[p.index], p.value) << p.index;
}

struct TableCase {
    const char* name;
    bool isSigned;
    size_t entries;
    int32_t (*formula)(int32_t);
};

TEST(TableResources, EveryEntryFollowsItsFormula) {
    const TableCase cases[] = {
        {FABLIX_RC_COSINE, true, 256, CosineFormula},
        {FABLIX_RC_ARCTAN, false, 1024, ArctanFormula},
        {FABLIX_RC_VECTOR, false, 1024, VectorFormula},
    };
    for (const TableCase& c : cases) {
        std::vector<int32_t> t = LoadTable(c.name, c.isSigned);
        ASSERT_EQ(t.size(), c.entries) << c.name;
        for (size_t k = 0; k < t.size(); k++) ASSERT_EQ(t[k], c.formula(static_cast<int32_t>(k))) << c.name << " " << k;
    }
}

// ---------------------------------------------------------------------------
// The expansion

TEST(CosineExpansion, QuarterBecomesTheFullTurn) {
    int16_t table[kTableEntries];
    std::memset(table, 0x77, sizeof table);
    for (int32_t k = 0; k < 256; k++) table[k] = static_cast<int16_t>(CosineFormula(k));
    ExpandCosineTable(table);
    for (int32_t k = 0; k < kTableEntries; k++) ASSERT_EQ(table[k], CosineFormula(k)) << k;
}

TEST(CosineExpansion, QuadrantBoundaries) {
    int16_t table[kTableEntries];
    for (int32_t k = 0; k < 256; k++) table[k] = static_cast<int16_t>(CosineFormula(k));
    ExpandCosineTable(table);
    const Point points[] = {{0, 16384},    {128, 11585}, {256, 0},     {384, -11585}, {512, -16384},
                            {640, -11585}, {768, 0},     {896, 11585}, {1023, 16384}};
    for (const Point& p : points) EXPECT_EQ(table[p.index], p.value) << p.index;
}

TEST(CosineExpansion, ZeroQuarterGivesZeroTurn) {
    int16_t table[kTableEntries];
    std::memset(table, 0x5A, sizeof table);
    std::memset(table, 0, 256 * sizeof(int16_t));
    ExpandCosineTable(table);
    for (int32_t k = 0; k < kTableEntries; k++) ASSERT_EQ(table[k], 0) << k;
}

TEST(CosineExpansion, FollowsTheQuarterItIsGiven) {
    // Not a cosine: entries 0..255 hold k + 1, so each rule is seen on its own.
    int16_t table[kTableEntries];
    for (int32_t k = 0; k < 256; k++) table[k] = static_cast<int16_t>(k + 1);
    ExpandCosineTable(table);
    const Point points[] = {{256, 0}, {257, -256}, {511, -2}, {512, -1}, {767, -256}, {768, 0}, {769, 256}, {1023, 2}};
    for (const Point& p : points) EXPECT_EQ(table[p.index], p.value) << p.index;
}

// ---------------------------------------------------------------------------
// Loading into an InstanceState

TEST(LoadLookupTables, FillsAllThreeTablesFromTheirFormulas) {
    auto state = NewState(0xC3);
    LoadLookupTables(state.get());
    for (int32_t k = 0; k < kTableEntries; k++) {
        ASSERT_EQ(state->cosineTable[k], CosineFormula(k)) << k;
        ASSERT_EQ(state->arctanTable[k], ArctanFormula(k)) << k;
        ASSERT_EQ(state->vectorTable[k], VectorFormula(k)) << k;
    }
}

TEST(LoadLookupTables, TouchesNothingButTheTables) {
    auto state = NewState(0xC3);
    auto before = NewState(0xC3);
    LoadLookupTables(state.get());
    const uint8_t* a = reinterpret_cast<const uint8_t*>(state.get());
    const uint8_t* b = reinterpret_cast<const uint8_t*>(before.get());
    size_t first = offsetof(InstanceState, cosineTable);
    size_t end = offsetof(InstanceState, vectorTable) + sizeof(state->vectorTable);
    EXPECT_EQ(std::memcmp(a, b, first), 0);
    EXPECT_EQ(std::memcmp(a + end, b + end, sizeof(InstanceState) - end), 0);
}

TEST(LoadLookupTables, ReloadingGivesTheSameTables) {
    auto once = NewState(0);
    auto twice = NewState(0x11);
    LoadLookupTables(once.get());
    LoadLookupTables(twice.get());
    LoadLookupTables(twice.get());
    EXPECT_EQ(std::memcmp(once->cosineTable, twice->cosineTable, sizeof once->cosineTable), 0);
    EXPECT_EQ(std::memcmp(once->arctanTable, twice->arctanTable, sizeof once->arctanTable), 0);
    EXPECT_EQ(std::memcmp(once->vectorTable, twice->vectorTable, sizeof once->vectorTable), 0);
}

}  // namespace
