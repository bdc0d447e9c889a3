// Helper threads over POSIX threads; the processor count from the
// process's affinity, so a host confined to some processors (taskset, a
// container's cpuset) starts no more helpers than it may run.
#include "Threads.h"

#include <pthread.h>
#include <sched.h>

namespace {

struct Share {
    void (*work)(void* context, int32_t k);
    void* context;
    int32_t k;
};

void* RunShare(void* opaque) {
    const Share& share = *static_cast<const Share*>(opaque);
    share.work(share.context, share.k);
    return nullptr;
}

}  // namespace

int32_t UsableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int32_t count = CPU_COUNT(&set);
    return count > 0 ? count : 1;
}

void RunOnStartedThreads(void*, int32_t count, void (*work)(void* context, int32_t k), void* context) {
    Share shares[kMaxStartedThreads];
    pthread_t threads[kMaxStartedThreads];
    bool started[kMaxStartedThreads] = {};
    const int32_t helpers = count - 1 < kMaxStartedThreads ? count - 1 : kMaxStartedThreads;
    for (int32_t i = 0; i < helpers; ++i) {
        shares[i] = {work, context, i + 1};
        started[i] = pthread_create(&threads[i], nullptr, RunShare, &shares[i]) == 0;
    }
    work(context, 0);
    for (int32_t i = 0; i < helpers; ++i)
        if (!started[i]) work(context, i + 1);
    for (int32_t k = helpers + 1; k < count; ++k) work(context, k);
    for (int32_t i = 0; i < helpers; ++i)
        if (started[i]) pthread_join(threads[i], nullptr);
}
