#include "OutOfResources.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "ExitCodes.h"
#include "Messages.h"
#include "OutputFile.h"

namespace {

// Allocates nothing: the memory is gone.
[[noreturn]] void EndWith(const char* line) {
    RemoveTemporariesOfThisProcess();
    if (write(STDERR_FILENO, line, std::strlen(line)) < 0) {
        // Standard error is gone too; the exit code still says it.
    }
    _exit(kExitFailed);
}

[[noreturn]] void OutOfMemory() { EndWith("fablix: out of memory; nothing written\n"); }

// Under -fno-exceptions a standard-library error ends here; in this tool
// that is the start of a thread (or a lock) that the system refused.
[[noreturn]] void SystemRefused() {
    EndWith("fablix: out of memory or threads: the system refused a thread; nothing written\n");
}

}  // namespace

void CatchResourceFailures() {
    std::set_new_handler(OutOfMemory);
    std::set_terminate(SystemRefused);
}

ExitCode FinishStandardOutput(ExitCode status) {
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    int error = errno;
    // A standard output closed by the shell (>&-) is fine while nothing was
    // meant for it: then only the close finds the descriptor missing.
    const bool closed = std::fclose(stdout) == 0 || (flushed && errno == EBADF);
    if (error == 0 && !closed) error = errno;
    if (flushed && closed) return status;
    return Failure(std::string("cannot write standard output: ") +
                   (error != 0 ? ErrnoText(error) : std::string("write error")));
}
