// The random generator: its start from the frame time and its draws.
#include <gtest/gtest.h>

#include "Random.h"
#include "RuntimeSupport.h"

namespace {

// The generator written out independently, in 64-bit arithmetic reduced
// modulo 2^32, to check the state table entry by entry.
std::vector<uint32_t> ReferenceTable(int32_t t) {
    std::vector<int64_t> table(56, 0);
    int64_t mj = 161803398 - (t & 0x7fff);
    int64_t mk = 1;
    table[55] = mj;
    for (int i = 1; i <= 54; ++i) {
        const int ii = (21 * i) % 55;
        table[ii] = mk;
        mk = (mj - mk) & 0xffffffff;
        mj = table[ii];
    }
    for (int pass = 0; pass < 4; ++pass)
        for (int i = 1; i <= 55; ++i) table[i] = (table[i] - table[1 + (i + 30) % 55]) & 0xffffffff;
    return std::vector<uint32_t>(table.begin(), table.end());
}

TEST(Random, StartsFromTheLow15BitsOfTheTime) {
    for (int32_t t : {0, 1, 47, 0x7fff, 0x8000 + 5, -1}) {
        auto state = NewState();
        StartRandom(state.get(), t);
        const std::vector<uint32_t> expected = ReferenceTable(t);
        for (int i = 1; i <= 55; ++i)
            EXPECT_EQ(static_cast<uint32_t>(state->randomState[i]), expected[i]) << t << " " << i;
    }
}

TEST(Random, FirstDrawUsesEntries1And32AndCursorsWrapAt56) {
    auto state = NewState();
    state->randomIndex = 0;
    state->randomLagIndex = 31;
    StartRandom(state.get(), 0);
    const uint32_t first = static_cast<uint32_t>(state->randomState[1]) - static_cast<uint32_t>(state->randomState[32]);
    EXPECT_EQ(static_cast<uint32_t>(DrawRandom(state.get())), first);
    EXPECT_EQ(static_cast<uint32_t>(state->randomState[1]), first);
    EXPECT_EQ(state->randomIndex, 1);
    EXPECT_EQ(state->randomLagIndex, 32);
    for (int i = 0; i < 24; ++i) DrawRandom(state.get());
    EXPECT_EQ(state->randomLagIndex, 1);  // 32 + 24 = 56 wraps to 1
    for (int i = 0; i < 30; ++i) DrawRandom(state.get());
    EXPECT_EQ(state->randomIndex, 55);
    DrawRandom(state.get());
    EXPECT_EQ(state->randomIndex, 1);
}

TEST(Random, ARunOfDrawsIsTheSameAsDrawingOneByOne) {
    auto single = NewState(), run = NewState();
    ResetRandom(single.get(), 11);
    ResetRandom(run.get(), 11);
    EXPECT_EQ(run->randomLagIndex, 31);
    // Runs of several lengths, across the cursors' wrap at 56.
    for (int32_t count : {1, 24, 55, 200}) {
        std::vector<int32_t> draws(size_t(count), 0);
        DrawRandoms(run.get(), draws.data(), count);
        for (int32_t k = 0; k < count; ++k) ASSERT_EQ(draws[size_t(k)], DrawRandom(single.get())) << count << " " << k;
        EXPECT_EQ(run->randomIndex, single->randomIndex);
        EXPECT_EQ(run->randomLagIndex, single->randomLagIndex);
    }
    EXPECT_EQ(std::memcmp(run->randomState, single->randomState, sizeof(run->randomState)), 0);
}

// Skipping N draws leaves the table and cursors as N draws do: from the
// frame's start and from a state some draws on (cursors anywhere in their
// round), for N about the cursors' wrap (54, 55, 56) and the draws of
// whole 1080p bands.
TEST(Random, SkippingDrawsIsTheSameAsDrawingThem) {
    constexpr uint64_t kCounts[] = {0, 1, 2, 23, 24, 25, 54, 55, 56, 110, 1000, 65537, 1920 * 540 + 7, 3 * 1920 * 1080};
    for (int32_t before : {0, 17, 54}) {
        for (uint64_t count : kCounts) {
            auto drawn = NewState(), skipped = NewState();
            ResetRandom(drawn.get(), 29);
            for (int32_t k = 0; k < before; ++k) DrawRandom(drawn.get());
            std::memcpy(skipped.get(), drawn.get(), sizeof(InstanceState));
            for (uint64_t k = 0; k < count; ++k) DrawRandom(drawn.get());
            SkipRandoms(skipped.get(), count);
            EXPECT_EQ(skipped->randomIndex, drawn->randomIndex) << before << " then " << count;
            EXPECT_EQ(skipped->randomLagIndex, drawn->randomLagIndex) << before << " then " << count;
            EXPECT_EQ(std::memcmp(skipped->randomState, drawn->randomState, sizeof(drawn->randomState)), 0)
                << before << " then " << count;
            // And the draws that follow are the same.
            EXPECT_EQ(DrawRandom(skipped.get()), DrawRandom(drawn.get())) << before << " then " << count;
        }
    }
}

// Counts too large to draw one by one: skips of a and b, in either order,
// leave what one skip of a + b does (when the sum fits in 64 bits).
TEST(Random, SkipsOfHugeCountsAddUp) {
    constexpr uint64_t kPairs[][2] = {{uint64_t{1} << 40, 3}, {(uint64_t{1} << 63) + 12345, 55}, {~uint64_t{0}, 1}};
    for (const auto& pair : kPairs) {
        std::unique_ptr<InstanceState> states[3] = {NewState(), NewState(), NewState()};
        for (auto& state : states) ResetRandom(state.get(), 5);
        SkipRandoms(states[0].get(), pair[0]);
        SkipRandoms(states[0].get(), pair[1]);
        SkipRandoms(states[1].get(), pair[1]);
        SkipRandoms(states[1].get(), pair[0]);
        const bool sumFits = pair[0] + pair[1] >= pair[0];
        if (sumFits) SkipRandoms(states[2].get(), pair[0] + pair[1]);
        for (int32_t k = 1; k < (sumFits ? 3 : 2); ++k) {
            EXPECT_EQ(std::memcmp(states[k]->randomState, states[0]->randomState, sizeof(states[0]->randomState)), 0)
                << pair[0] << " " << k;
            EXPECT_EQ(states[k]->randomIndex, states[0]->randomIndex) << pair[0] << " " << k;
            EXPECT_EQ(states[k]->randomLagIndex, states[0]->randomLagIndex) << pair[0] << " " << k;
        }
    }
}

class Rnd : public ::testing::Test {
protected:
    std::unique_ptr<InstanceState> state = NewState();
    TestFrame frame{4, 4};
    void Start() {
        state->randomIndex = 0;
        state->randomLagIndex = 31;
        StartRandom(state.get(), 3);
    }
};

TEST_F(Rnd, EmptyRangeGivesZeroAndStillDraws) {
    Start();
    EXPECT_EQ(EvaluateAt(state.get(), frame, "rnd(5,4)", 0, 0), 0);
    EXPECT_EQ(state->randomIndex, 1);
    EXPECT_EQ(EvaluateAt(state.get(), frame, "rnd(3,3)", 0, 0), 3);
    EXPECT_EQ(state->randomIndex, 2);
}

TEST_F(Rnd, ValuesFollowTheDrawsAndStayInRange) {
    Start();
    auto copy = NewState();
    std::memcpy(copy.get(), state.get(), sizeof(InstanceState));
    for (int i = 0; i < 2000; ++i) {
        const int64_t draw = DrawRandom(copy.get());
        const int32_t value = EvaluateAt(state.get(), frame, "rnd(0,255)", 0, 0);
        EXPECT_EQ(value, ((draw % 256) + 256) % 256);
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 255);
    }
    // hi - lo wraps to -1 here: an empty range.
    EXPECT_EQ(EvaluateAt(state.get(), frame, "rnd(0x80000000,0x7fffffff)", 0, 0), 0);
    DrawRandom(copy.get());
    // A wide range whose size does not fit in 31 bits.
    const int64_t size = 2000000001;
    const int32_t wide = EvaluateAt(state.get(), frame, "rnd(0-1000000000,1000000000)", 0, 0);
    const int64_t draw = DrawRandom(copy.get());
    EXPECT_EQ(wide, -1000000000 + ((draw % size) + size) % size);
}

}  // namespace
