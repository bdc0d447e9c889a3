#include "EditCommand.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "BlockOptions.h"
#include "EditServer.h"

extern char** environ;

namespace {

struct EditOptions {
    std::string input;
    std::string settings;
    int32_t port = 0;
    bool browser = true;
};

bool Usage(const std::string& message) {
    std::fprintf(stderr, "fablix: %s\nusage: fablix %s\n", message.c_str(), kEditUsage);
    return false;
}

// The options into `options`; false after a usage message.
bool TakeOptions(const std::vector<std::string>& arguments, EditOptions& options) {
    bool optionsEnded = false;
    bool inputGiven = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && (argument == "--settings" || argument == "--port")) {
            if (i + 1 == arguments.size()) return Usage(argument + " wants a value");
            const std::string value = arguments[++i];
            if (argument == "--settings") {
                options.settings = value;
                continue;
            }
            char* end = nullptr;
            const long port = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != 0 || port < 1 || port > 65535)
                return Usage("--port wants a port from 1 to 65535, not '" + value + "'");
            options.port = static_cast<int32_t>(port);
        } else if (!optionsEnded && argument == "--no-browser") {
            options.browser = false;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            return Usage("unknown option '" + argument + "'");
        } else if (inputGiven) {
            return Usage("edit takes one INPUT; '" + argument + "' is a second");
        } else {
            options.input = argument;
            inputGiven = true;
        }
    }
    return true;
}

// The page opens in the user's browser when there is a display to show it.
void OpenBrowser(const std::string& url) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"xdg-open", url.c_str(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "xdg-open", &actions, nullptr, const_cast<char**>(argv), environ) == 0)
        std::thread([child] { waitpid(child, nullptr, 0); }).detach();
    posix_spawn_file_actions_destroy(&actions);
}

// Where the tool itself is, to build plug-ins as `fablix build` does.
std::string ToolPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "/proc/self/exe" : path.string();
}

std::string Frei0rFolder() {
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.frei0r-1/lib";
}

}  // namespace

EditOutcome RunEditor(const std::vector<std::string>& arguments) {
    EditOptions options;
    if (!TakeOptions(arguments, options)) return kEditBadUsage;
    BlockOptions block;
    block.settingsPath = options.settings;
    auto params = std::make_unique<FilterParams>();
    if (BuildBlock(block, params.get()) != kBlockOk) return kEditBadUsage;

    // Stop signals are taken by one thread, which stops the server; every
    // thread started after this inherits the mask.
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&stops, signal);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);

    EditServer server;
    const EditorConfig config{options.input, options.settings, ToolPath(), Frei0rFolder(), MakeToken()};
    std::string message;
    if (!StartEditServer(server, config, *params, options.port, message)) {
        std::fprintf(stderr, "fablix: %s\n", message.c_str());
        return kEditFailed;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/?token=" + config.token;
    std::printf("%s\n", url.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "fablix: editing %s; press Ctrl-C to stop\n",
                 options.input.empty() ? "the built-in test clip" : ("'" + options.input + "'").c_str());
    if (options.browser) OpenBrowser(url);

    std::thread watcher([&server, &stops] {
        int taken = 0;
        sigwait(&stops, &taken);
        StopEditServer(server);
    });
    const bool served = RunEditServer(server);
    pthread_kill(watcher.native_handle(), SIGUSR1);  // when serving ended by itself
    watcher.join();
    if (!served) {
        std::fprintf(stderr, "fablix: the server stopped: cannot serve on 127.0.0.1:%d\n", server.port);
        return kEditFailed;
    }
    std::fprintf(stderr, "fablix: stopped\n");
    return kEditStopped;
}
