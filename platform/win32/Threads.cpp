// Helper threads over the system's own threads; the processor count from
// the process's affinity mask, so a host confined to some processors
// starts no more helpers than it may run.
#include "Threads.h"

#include <windows.h>

namespace {

struct Share {
    void (*work)(void* context, int32_t k);
    void* context;
    int32_t k;
};

DWORD WINAPI RunShare(void* opaque) {
    const Share& share = *static_cast<const Share*>(opaque);
    share.work(share.context, share.k);
    return 0;
}

}  // namespace

int32_t UsableProcessors() {
    DWORD_PTR process = 0, system = 0;
    if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return 1;
    int32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    return count > 0 ? count : 1;
}

void RunOnStartedThreads(void*, int32_t count, void (*work)(void* context, int32_t k), void* context) {
    Share shares[kMaxStartedThreads];
    HANDLE threads[kMaxStartedThreads];
    const int32_t helpers = count - 1 < kMaxStartedThreads ? count - 1 : kMaxStartedThreads;
    for (int32_t i = 0; i < helpers; ++i) {
        shares[i] = {work, context, i + 1};
        threads[i] = CreateThread(nullptr, 0, RunShare, &shares[i], 0, nullptr);
    }
    work(context, 0);
    for (int32_t i = 0; i < helpers; ++i)
        if (threads[i] == nullptr) work(context, i + 1);
    for (int32_t k = helpers + 1; k < count; ++k) work(context, k);
    for (int32_t i = 0; i < helpers; ++i) {
        if (threads[i] == nullptr) continue;
        WaitForSingleObject(threads[i], INFINITE);
        CloseHandle(threads[i]);
    }
}
