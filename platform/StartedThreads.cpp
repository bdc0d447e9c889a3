// The threads port's sharing of a frame, the same on every platform: each
// platform starts and joins the threads (ThreadStart.h).
#include "Threads.h"

#include "ThreadStart.h"

void RunOnStartedThreads(void*, int32_t count, void (*work)(void* context, int32_t k), void* context) {
    ThreadShare shares[kMaxStartedThreads];
    StartedThread threads[kMaxStartedThreads];
    bool started[kMaxStartedThreads] = {};
    const int32_t helpers = count - 1 < kMaxStartedThreads ? count - 1 : kMaxStartedThreads;
    for (int32_t i = 0; i < helpers; ++i) {
        shares[i] = {work, context, i + 1};
        started[i] = StartShareThread(&shares[i], &threads[i]);
    }
    work(context, 0);
    for (int32_t i = 0; i < helpers; ++i)
        if (!started[i]) work(context, i + 1);
    for (int32_t k = helpers + 1; k < count; ++k) work(context, k);
    for (int32_t i = 0; i < helpers; ++i)
        if (started[i]) JoinShareThread(threads[i]);
}
