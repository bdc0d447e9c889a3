// The instance's kept threads: every share of a frame runs once, the first
// on the calling thread, frame after frame; more shares than threads, and
// fewer, included.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "BandPool.h"

namespace {

constexpr int32_t kMaxShares = 8;

struct Tally {
    std::atomic<int32_t> runs[kMaxShares];
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<bool> firstOnCaller{true};
};

void Count(void* context, int32_t k) {
    Tally& tally = *static_cast<Tally*>(context);
    ++tally.runs[k];
    if (k == 0 && std::this_thread::get_id() != tally.caller) tally.firstOnCaller = false;
}

TEST(BandPool, RunsEveryShareOnceAFrame) {
    constexpr int32_t kFrames = 40;
    for (int32_t threads : {0, 1, 3}) {
        BandPool pool;
        RestartBandPool(pool, threads);
        EXPECT_EQ(pool.threads.size(), size_t(threads));
        for (int32_t shares : {1, 2, 4, kMaxShares}) {
            Tally tally;
            for (auto& runs : tally.runs) runs = 0;
            for (int32_t frame = 0; frame < kFrames; ++frame) RunOnBandPool(&pool, shares, Count, &tally);
            for (int32_t k = 0; k < kMaxShares; ++k)
                EXPECT_EQ(tally.runs[k], k < shares ? kFrames : 0)
                    << threads << " threads, share " << k << " of " << shares;
            EXPECT_TRUE(tally.firstOnCaller) << threads << " threads, " << shares << " shares";
        }
    }
}

}  // namespace
