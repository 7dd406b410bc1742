#include "platform/posix/posix_process_launcher.hpp"

#include "platform/posix/posix_io.hpp"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace hotfix::posix {

namespace {

// The installer's environment with the prefix the scripts must run in.
std::vector<std::string> scriptEnvironment(const std::string& prefixFolder) {
    std::vector<std::string> out;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!text.starts_with("WINEPREFIX=")) {
            out.emplace_back(text);
        }
    }
    std::error_code error;
    const auto absolute = std::filesystem::absolute(prefixFolder, error);
    std::string entry = "WINEPREFIX=";
    entry += error ? prefixFolder : absolute.lexically_normal().string();
    out.push_back(std::move(entry));
    return out;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        out.push_back(text.data());
    }
    out.push_back(nullptr);
    return out;
}

// Starts the program in folder, with no terminal, no input and none of the installer's other files, in a
// session of its own, with the signals a program expects at its start. The process id, or -1.
pid_t spawnDetached(std::vector<std::string> arguments, std::vector<std::string> environment,
                    const std::string& folder) {
    std::vector<char*> argv = pointersTo(arguments);
    std::vector<char*> envp = pointersTo(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    // Nothing else of the installer's: an inherited pipe or lock would tie the two together.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2}) {
        sigaddset(&defaults, signal);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);

    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

} // namespace

PosixProcessLauncher::PosixProcessLauncher(WinePrefix prefix, std::string wineProgram, CallbackPoster post)
    : m_paths(std::move(prefix))
    , m_wine(std::move(wineProgram))
    , m_post(std::move(post)) {}

std::string PosixProcessLauncher::findWine() {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        const auto colon = rest.find(':');
        // An empty entry is the current folder.
        const std::string_view entry = rest.substr(0, colon);
        const std::string folder(entry.empty() ? std::string_view(".") : entry);
        std::string candidate = folder + "/wine";
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        rest.remove_prefix(colon + 1);
    }
}

bool PosixProcessLauncher::startScript(const std::string& scriptPath, ExitHandler onExit) {
    const WinePrefix& prefix = m_paths.prefix();
    if (m_wine.empty() || !prefix.exists()) {
        return false;
    }
    const std::string native = m_paths.nativePath(scriptPath);
    const auto slash = native.rfind('/');
    if (native.empty() || slash == std::string::npos || slash + 1 == native.size() ||
        !prefix.windowsPath(native)) {
        return false;
    }
    // cmd gets the script's bare name in the script's folder: a folder's "&", "(", ")" or "%" never reaches
    // its command line, where cmd would act on them. The names the engine gives scripts need no quoting.
    std::string folder = slash == 0 ? std::string("/") : native.substr(0, slash);
    // /d: no AutoRun command runs first, which might change the working folder.
    std::vector<std::string> arguments{m_wine, "cmd", "/d", "/c", native.substr(slash + 1)};
    std::vector<std::string> environment = scriptEnvironment(prefix.folder());

    // The thread exists before the process does, so that a process once started always has its waiter.
    std::promise<bool> started;
    std::future<bool> startResult = started.get_future();
    try {
        std::thread([arguments = std::move(arguments), environment = std::move(environment),
                     folder = std::move(folder), onExit = std::move(onExit), post = m_post,
                     started = std::move(started)]() mutable {
            const pid_t pid = spawnDetached(std::move(arguments), std::move(environment), folder);
            started.set_value(pid > 0);
            if (pid <= 0) {
                return;
            }
            int status = 0;
            retryingInterrupts([&] { return ::waitpid(pid, &status, 0); });
            if (!onExit) {
                return;
            }
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (post) {
                post([onExit = std::move(onExit), code] { onExit(code); });
            } else {
                onExit(code);
            }
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return startResult.get();
}

} // namespace hotfix::posix
