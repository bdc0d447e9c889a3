// What the threads port needs of each platform beyond the processor count:
// a thread started on one share of a frame, and waiting for it.
#pragma once

#include <cstdint>

// One share: work(context, k).
struct ThreadShare {
    void (*work)(void* context, int32_t k);
    void* context;
    int32_t k;
};

inline void RunThreadShare(const ThreadShare& share) { share.work(share.context, share.k); }

// The platform's handle of a started thread.
using StartedThread = uintptr_t;

// Starts a thread that runs `share`: false, with nothing started, when none
// can be had.
bool StartShareThread(ThreadShare* share, StartedThread* thread);

// Waits for a thread StartShareThread started to end, and lets it go.
void JoinShareThread(StartedThread thread);
