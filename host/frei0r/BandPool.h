// Threads an instance keeps for the bands of its frames: started when the
// thread count is set, woken for each frame, ended with the instance. A
// frame then costs a wake-up, not a thread's start and end.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "Render.h"

struct BandPool {
    std::mutex lock;
    std::condition_variable wake;      // a frame's work, or the end
    std::condition_variable finished;  // the last thread of a frame is done
    std::vector<std::thread> threads;  // thread i runs work k = i + 1
    uint64_t frame = 0;                // bumped for each frame handed out
    int32_t workers = 0;               // of the frame, the calling thread included
    int32_t running = 0;               // pool threads still at the frame's work
    void (*work)(void* context, int32_t k) = nullptr;
    void* context = nullptr;
    bool ending = false;

    BandPool() = default;
    BandPool(const BandPool&) = delete;
    BandPool& operator=(const BandPool&) = delete;
    ~BandPool();
};

// Ends the pool's threads, then starts `threads` of them.
void RestartBandPool(BandPool& pool, int32_t threads);

// BandThreads::run for a BandPool: work(context, 0) on the calling thread,
// work(context, k) for 0 < k < count on pool threads, those beyond the
// pool's size on the calling thread after its own.
void RunOnBandPool(void* pool, int32_t count, void (*work)(void* context, int32_t k), void* context);

inline BandThreads BandThreadsOf(BandPool& pool) { return BandThreads{RunOnBandPool, &pool}; }
