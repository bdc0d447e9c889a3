#include "WorkerThread.h"

#include "OutputFile.h"

namespace {

void* RunWork(void* thread) {
    static_cast<WorkerThread*>(thread)->work();
    return nullptr;
}

}  // namespace

bool StartWorkerThread(WorkerThread& thread, std::function<void()> work, std::string& message) {
    thread.work = std::move(work);
    const int error = pthread_create(&thread.id, nullptr, RunWork, &thread);
    thread.running = error == 0;
    if (error != 0) message = "out of threads: the system would not start another (" + ErrnoText(error) + ")";
    return thread.running;
}

void JoinWorkerThread(WorkerThread& thread) {
    if (!thread.running) return;
    pthread_join(thread.id, nullptr);
    thread.running = false;
}
