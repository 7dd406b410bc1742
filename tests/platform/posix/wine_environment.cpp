#include "platform/posix/wine_environment.hpp"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hotfix::test {

namespace fs = std::filesystem;

namespace {

std::string g_missing = "Wine is not set up yet";
std::string g_root;
std::string g_prefix;

} // namespace

std::string findOnPath(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const std::string candidate = std::string(rest.substr(0, colon)) + "/" + std::string(name);
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return {};
}

int runProgram(const std::vector<std::string>& arguments, const std::string& folder,
               const std::string& output) {
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.empty() ? "/dev/null" : output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (!folder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void WineEnvironment::SetUp() {
    for (const char* program : {"wine", "wineboot", "wineserver"}) {
        if (findOnPath(program).empty()) {
            g_missing = std::string("Wine is not installed (no '") + program +
                        "' on the PATH); install the Debian packages wine and wine64 to run this test";
            return;
        }
    }
    if (const char* given = std::getenv("HOTFIX_WINE_TEST_PREFIX"); given != nullptr && *given != '\0') {
        g_prefix = given;
        ::setenv("WINEPREFIX", g_prefix.c_str(), 1);
        g_missing.clear();
        return;
    }
    std::string pattern = (fs::temp_directory_path() / "hotfix-wine-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        g_missing = "cannot make a folder for the Wine prefix";
        return;
    }
    g_root = pattern;
    g_prefix = g_root + "/prefix";
    ::setenv("WINEPREFIX", g_prefix.c_str(), 1);
    ::setenv("WINEDEBUG", "-all", 1);
    // No offer to install Mono or Gecko: nothing may wait for a person.
    ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    if (runProgram({"wineboot", "-i"}) != 0) {
        g_missing = "wineboot -i could not make a prefix in " + g_prefix;
        return;
    }
    flushRegistry();
    g_missing.clear();
}

void WineEnvironment::TearDown() {
    if (g_root.empty()) {
        return;
    }
    runProgram({"wineserver", "-k"});
    std::error_code error;
    fs::remove_all(g_root, error);
}

const std::string& WineEnvironment::missing() {
    return g_missing;
}

const std::string& WineEnvironment::prefix() {
    return g_prefix;
}

int WineEnvironment::wine(std::vector<std::string> arguments) {
    std::vector<std::string> command{"wine"};
    command.insert(command.end(), std::make_move_iterator(arguments.begin()),
                   std::make_move_iterator(arguments.end()));
    return runProgram(command);
}

std::string WineEnvironment::regAdd(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"wine", "reg", "add"});
    arguments.emplace_back("/f");
    const std::string output =
        (fs::temp_directory_path() / ("hotfix-reg-add-" + std::to_string(::getpid()))).string();
    std::string said;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const int code = runProgram(arguments, {}, output);
        std::error_code error;
        if (code == 0) {
            fs::remove(output, error);
            return {};
        }
        said += "attempt " + std::to_string(attempt) + " ended with " + std::to_string(code) + ": ";
        if (std::FILE* file = std::fopen(output.c_str(), "rb")) {
            char buffer[512];
            for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
                said.append(buffer, got);
            }
            std::fclose(file);
        }
        said += "\n";
        fs::remove(output, error);
    }
    return said;
}

void WineEnvironment::flushRegistry() {
    // The server writes the registry files when it ends, a few seconds after its last program.
    runProgram({"wineserver", "-w"});
}

} // namespace hotfix::test
