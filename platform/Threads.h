// The threads port: helpers for the bands of one frame inside a host, and
// how many processors the host lets it run on.
#pragma once

#include <cstdint>

// The processors the calling thread may run on (its affinity), at least 1.
int32_t UsableProcessors();

// Most threads one call starts; further shares run on the calling thread.
constexpr int32_t kMaxStartedThreads = 63;

// Calls work(context, k) for every k in [0, count): k = 0 on the calling
// thread, the others on threads started for this call; returns when every
// call has. A share whose thread cannot be started (the host's process may
// be out of threads or memory) runs on the calling thread after its own,
// so every share runs however many threads there are. The first argument
// is unused: the signature is that of a frame's band threads.
void RunOnStartedThreads(void* unused, int32_t count, void (*work)(void* context, int32_t k), void* context);
