#include "WorkerThread.h"

#include <signal.h>

#include "OutputFile.h"

namespace {

void* RunWork(void* thread) {
    static_cast<WorkerThread*>(thread)->work();
    return nullptr;
}

}  // namespace

bool StartWorkerThread(WorkerThread& thread, std::function<void()> work, std::string& message) {
    thread.work = std::move(work);
    // The signals that ask the tool to stop go to the thread that started
    // the work, the one that asks whether to stop and commits the output:
    // the new thread inherits a mask that holds them off.
    sigset_t stops, before;
    sigemptyset(&stops);
    for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, number);
    pthread_sigmask(SIG_BLOCK, &stops, &before);
    const int error = pthread_create(&thread.id, nullptr, RunWork, &thread);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    thread.running = error == 0;
    if (error != 0) message = "out of threads: the system would not start another (" + ErrnoText(error) + ")";
    return thread.running;
}

void JoinWorkerThread(WorkerThread& thread) {
    if (!thread.running) return;
    pthread_join(thread.id, nullptr);
    thread.running = false;
}
