#include "Interrupt.h"

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ExitCodes.h"
#include "MediaResult.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The first stop signal's number; 0 while none came. The one piece of
// process-wide state: a signal handler has nowhere else to put it.
volatile sig_atomic_t gStopSignal = 0;

void NoteStop(int number) {
    if (gStopSignal == 0) gStopSignal = number;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int number : kStopSignals) sigaddset(&set, number);
    return set;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting read returns with EINTR
    for (int number : kStopSignals) sigaction(number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

bool StopRequested() { return gStopSignal != 0; }

ExitCode Interrupted() {
    std::fprintf(stderr, "fablix: interrupted; nothing written\n");
    return SignalExitCode(gStopSignal != 0 ? gStopSignal : SIGINT);
}

MediaCode CommitUnlessStopped(const std::function<MediaCode()>& commit) {
    const sigset_t stops = StopSignalSet();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    // A signal sent meanwhile may wait to be taken; it is a stop all the same.
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    bool waiting = false;
    for (int number : kStopSignals) waiting = waiting || sigismember(&pending, number) == 1;
    const MediaCode result = StopRequested() || waiting ? kMediaInterrupted : commit();
    sigprocmask(SIG_SETMASK, &before, nullptr);  // a held signal lands here, after the commit
    return result;
}

void PausePointForTests(const char* point) {
    const char* wanted = std::getenv("FABLIX_TEST_PAUSE_AT");
    if (wanted != nullptr && std::strcmp(wanted, point) == 0) raise(SIGSTOP);
}
