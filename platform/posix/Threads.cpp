// Helper threads over POSIX threads; the processor count from the
// process's affinity, so a host confined to some processors (taskset, a
// container's cpuset) starts no more helpers than it may run.
#include <pthread.h>
#include <sched.h>

#include "ThreadStart.h"
#include "Threads.h"

static_assert(sizeof(pthread_t) <= sizeof(StartedThread));

namespace {

void* RunShare(void* share) {
    RunThreadShare(*static_cast<const ThreadShare*>(share));
    return nullptr;
}

}  // namespace

int32_t UsableProcessors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    const int32_t count = CPU_COUNT(&set);
    return count > 0 ? count : 1;
}

bool StartShareThread(ThreadShare* share, StartedThread* thread) {
    pthread_t started;
    if (pthread_create(&started, nullptr, RunShare, share) != 0) return false;
    *thread = StartedThread(started);
    return true;
}

void JoinShareThread(StartedThread thread) { pthread_join(pthread_t(thread), nullptr); }
