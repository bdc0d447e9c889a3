// The stand-in host services that every platform shares: handles, their
// locks, and the test hooks. One thread, as in the host: no locking here.
// The windowing services are in ReelInfoPosix.cpp and ReelInfoWin32.cpp.
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "ReelInfo.h"
#include "ReelInfoShared.h"
#include "ReelInfoTest.h"

namespace {

// A handle points at `block`, the first member, so the handle is the record.
struct HandleRecord {
    void* block;
    int32_t size;
};

struct Services {
    std::unordered_set<RvHandle> live;
    std::unordered_map<RvHandle, int32_t> lockCounts;  // only handles now locked
    bool failNextNewHandle = false;
    int32_t misuses = 0;
    int32_t dialogRuns = 0;
    int32_t lastDialogTemplate = 0;
    RvWindow mainWindow = nullptr;
    RvTestDialogRunner dialogRunner = nullptr;
};

Services& State() {
    static Services services;
    return services;
}

HandleRecord* RecordOf(RvHandle handle) { return reinterpret_cast<HandleRecord*>(handle); }

}  // namespace

void CountDialogRun(int32_t templateId) {
    Services& s = State();
    s.dialogRuns++;
    s.lastDialogTemplate = templateId;
}

RvWindow TestMainWindow() { return State().mainWindow; }

RvTestDialogRunner TestDialogRunner() { return State().dialogRunner; }

extern "C" {

RvHandle RvNewHandle(int32_t size) {
    Services& s = State();
    if (s.failNextNewHandle) {
        s.failNextNewHandle = false;
        return nullptr;
    }
    if (size < 0) return nullptr;
    // malloc(0) may give nullptr; a handle always leads to a block.
    void* block = std::malloc(size > 0 ? static_cast<size_t>(size) : 1);
    HandleRecord* record = new (std::nothrow) HandleRecord{block, size};
    if (!block || !record) {
        std::free(block);
        delete record;
        return nullptr;
    }
    std::memset(block, kRvFreshByte, static_cast<size_t>(size));
    RvHandle handle = &record->block;
    s.live.insert(handle);
    return handle;
}

void RvDisposeHandle(RvHandle handle) {
    if (!handle) return;
    Services& s = State();
    if (s.live.erase(handle) == 0) {
        s.misuses++;
        return;
    }
    s.lockCounts.erase(handle);
    HandleRecord* record = RecordOf(handle);
    std::free(record->block);
    delete record;
}

void RvHLock(RvHandle handle) {
    if (handle) State().lockCounts[handle]++;
}

void RvHUnlock(RvHandle handle) {
    if (!handle) return;
    Services& s = State();
    auto it = s.lockCounts.find(handle);
    if (it == s.lockCounts.end()) {
        s.misuses++;
        return;
    }
    if (--it->second == 0) s.lockCounts.erase(it);
}

// ---------------------------------------------------------------------------
// Test hooks

void RvTestFailNextNewHandle(void) { State().failNextNewHandle = true; }

int32_t RvTestLockCount(RvHandle handle) {
    Services& s = State();
    auto it = s.lockCounts.find(handle);
    return it == s.lockCounts.end() ? 0 : it->second;
}

int32_t RvTestLiveHandles(void) { return static_cast<int32_t>(State().live.size()); }

int32_t RvTestHandleSize(RvHandle handle) { return State().live.count(handle) ? RecordOf(handle)->size : -1; }

int32_t RvTestMisuses(void) { return State().misuses; }

void RvTestSetMainWindow(RvWindow window) { State().mainWindow = window; }

int32_t RvTestDialogRuns(void) { return State().dialogRuns; }

int32_t RvTestLastDialogTemplate(void) { return State().lastDialogTemplate; }

void RvTestSetDialogRunner(RvTestDialogRunner runner) { State().dialogRunner = runner; }

}  // extern "C"
