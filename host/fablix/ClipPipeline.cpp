#include "ClipPipeline.h"

#include <condition_variable>
#include <mutex>
#include <vector>

#include "MediaResult.h"
#include "WorkerThread.h"

namespace {

// A frame on its way: read, rendered, then taken and free again. Slots are
// used in turn, so frame `time` always has slot (time - first) % count.
struct Slot {
    enum Stage : int32_t { kFree, kRead, kRendered, kFailed };
    Stage stage = kFree;
    int32_t time = -1;            // the frame it holds or is getting
    MediaCode result = kMediaOk;  // kFailed: the read's MediaCode, or kMediaInterrupted
    std::string message;
    Frame source;
    Frame destination;
};

struct Pipeline {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<Slot> slots;
    int32_t first = 0, last = 0, total = 0;
    int32_t nextToRender = 0;
    bool stop = false;

    Slot& For(int32_t time) { return slots[static_cast<size_t>(time - first) % slots.size()]; }

    void Set(Slot& slot, Slot::Stage stage) {
        {
            std::lock_guard<std::mutex> hold(lock);
            slot.stage = stage;
        }
        changed.notify_all();
    }
};

// The reader: frames in order, as fast as slots free up.
void ReadFrames(Pipeline& p, ClipSource& source) {
    for (int32_t time = p.first; time <= p.last; ++time) {
        Slot& slot = p.For(time);
        {
            std::unique_lock<std::mutex> hold(p.lock);
            p.changed.wait(hold, [&] { return p.stop || slot.stage == Slot::kFree; });
            if (p.stop) return;
            slot.time = time;
        }
        if (LoadSourceFrame(source, time) != kMediaOk) {
            slot.result = source.failure;
            slot.message = source.message;
            p.Set(slot, Slot::kFailed);
            return;
        }
        slot.source = source.frame;
        p.Set(slot, Slot::kRead);
    }
}

// A worker: takes the next frame read, renders it with its own instance.
void RenderFrames(Pipeline& p, Renderer& renderer, int32_t worker, InputProbe probe) {
    for (;;) {
        int32_t time;
        {
            std::unique_lock<std::mutex> hold(p.lock);
            const auto ready = [&] {
                const Slot& next = p.For(p.nextToRender);
                return next.time == p.nextToRender && next.stage != Slot::kFree;
            };
            p.changed.wait(hold, [&] { return p.stop || p.nextToRender > p.last || ready(); });
            if (p.stop || p.nextToRender > p.last || p.For(p.nextToRender).stage != Slot::kRead) return;
            time = p.nextToRender++;
        }
        Slot& slot = p.For(time);
        if (slot.destination.width != slot.source.width || slot.destination.height != slot.source.height)
            MakeFrame(slot.destination, slot.source.width, slot.source.height);
        const RenderResult result =
            RenderWithWorker(renderer, worker, slot.source, slot.destination, time, p.total, probe);
        slot.destination.timestamp = slot.source.timestamp;  // the frame keeps its place in time
        slot.destination.duration = slot.source.duration;
        slot.result = result == kRenderDone ? kMediaOk : kMediaInterrupted;
        p.Set(slot, result == kRenderDone ? Slot::kRendered : Slot::kFailed);
    }
}

}  // namespace

MediaCode RunClipPipeline(Renderer& renderer, ClipSource& source, int32_t first, int32_t last, int32_t total,
                          InputProbe probe, const FrameSink& sink, std::string& message) {
    Pipeline p;
    const int32_t workers = static_cast<int32_t>(renderer.workers.size());
    // Two frames read ahead of the ones rendering keep every worker busy.
    p.slots.resize(static_cast<size_t>(workers + 2));
    p.first = first;
    p.last = last;
    p.total = total;
    p.nextToRender = first;
    // Frames are read forward, each once: looking back needs no frames kept.
    if (source.kind == kSourceClip) source.reader.framesKept = 1;

    // Sized once: a running thread must not move.
    std::vector<WorkerThread> threads(static_cast<size_t>(workers + 1));
    MediaCode status = kMediaOk;
    if (!StartWorkerThread(
            threads[0], [&] { ReadFrames(p, source); }, message))
        status = kMediaCannotWrite;
    for (int32_t k = 0; k < workers && status == kMediaOk; ++k) {
        const auto render = [&p, &renderer, k, probe] { RenderFrames(p, renderer, k, probe); };
        if (!StartWorkerThread(threads[size_t(k) + 1], render, message)) status = kMediaCannotWrite;
    }
    for (int32_t time = first; time <= last && status == kMediaOk; ++time) {
        Slot& slot = p.For(time);
        {
            std::unique_lock<std::mutex> hold(p.lock);
            p.changed.wait(hold, [&] { return slot.stage == Slot::kRendered || slot.stage == Slot::kFailed; });
        }
        if (slot.stage == Slot::kFailed) {
            status = slot.result;
            message = slot.message;
        } else if (MediaCode taken = sink(time, slot.destination, message); taken != kMediaOk) {
            status = taken;
        } else {
            p.Set(slot, Slot::kFree);
        }
    }
    {
        std::lock_guard<std::mutex> hold(p.lock);
        p.stop = true;
    }
    p.changed.notify_all();
    for (WorkerThread& thread : threads) JoinWorkerThread(thread);
    return status;
}
