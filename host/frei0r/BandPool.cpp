#include "BandPool.h"

namespace {

void Serve(BandPool* pool, int32_t k) {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> hold(pool->lock);
    for (;;) {
        pool->wake.wait(hold, [&] { return pool->ending || pool->frame != seen; });
        if (pool->ending) return;
        seen = pool->frame;
        if (k >= pool->workers) continue;  // a frame of fewer bands than threads
        auto* work = pool->work;
        void* context = pool->context;
        hold.unlock();
        work(context, k);
        hold.lock();
        if (--pool->running == 0) pool->finished.notify_one();
    }
}

void EndThreads(BandPool& pool) {
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.ending = true;
    }
    pool.wake.notify_all();
    for (std::thread& thread : pool.threads) thread.join();
    pool.threads.clear();
    pool.ending = false;
}

}  // namespace

BandPool::~BandPool() { EndThreads(*this); }

void RestartBandPool(BandPool& pool, int32_t threads) {
    EndThreads(pool);
    for (int32_t i = 0; i < threads; ++i) pool.threads.emplace_back(Serve, &pool, i + 1);
}

void RunOnBandPool(void* opaque, int32_t count, void (*work)(void* context, int32_t k), void* context) {
    BandPool& pool = *static_cast<BandPool*>(opaque);
    // Work beyond the pool's threads falls to the calling thread.
    const int32_t size = static_cast<int32_t>(pool.threads.size());
    const int32_t workers = count < size + 1 ? count : size + 1;
    {
        std::lock_guard<std::mutex> hold(pool.lock);
        pool.workers = workers;
        pool.running = workers - 1;
        pool.work = work;
        pool.context = context;
        ++pool.frame;
    }
    if (workers > 1) pool.wake.notify_all();
    work(context, 0);
    for (int32_t k = workers; k < count; ++k) work(context, k);
    std::unique_lock<std::mutex> hold(pool.lock);
    pool.finished.wait(hold, [&] { return pool.running == 0; });
}
