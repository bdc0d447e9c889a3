// Threads whose start may fail without ending the process: std::thread
// reports a refused start (no memory for a stack, a thread limit) by an
// exception, which under -fno-exceptions is an abort.
#pragma once

#include <pthread.h>

#include <functional>
#include <string>

// One thread. It must stay where it is while it runs.
struct WorkerThread {
    pthread_t id{};
    bool running = false;
    std::function<void()> work;
};

// Starts `work` on the thread. False when the system refuses, with
// `message` saying so ("out of threads: ...").
bool StartWorkerThread(WorkerThread& thread, std::function<void()> work, std::string& message);

// Waits for a started thread; nothing for one that is not running.
void JoinWorkerThread(WorkerThread& thread);
