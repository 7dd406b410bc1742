#pragma once

#include "cli/command_line.hpp"
#include "engine/date_suffix.hpp"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace hotfix {

class CodePageCodec;
class FileSystem;
class FilesInUse;
class RegistryApi;
class RunLock;
class ScriptWaiter;
class SettingsStore;

namespace cli {

// What a run without a window works with: the machine, and the program's two output streams.
struct HeadlessServices {
    std::string programFolder;
    FileSystem& fs;
    // The workstation's code pages, for the list files and the scripts.
    const CodePageCodec& codePages;
    RegistryApi& registry;
    SettingsStore& settings;
    ScriptWaiter& launcher;
    // Where install records are kept; empty keeps none.
    std::string recordFolder;
    std::ostream& out;
    std::ostream& err;
    // One install or restore at a time on the machine; none where nothing else can run.
    RunLock* runLock = nullptr;
    // Who holds listed files, and replacement at restart; none where nothing is ever held.
    FilesInUse* filesInUse = nullptr;
    bool showProgress = false;
    LocalDateTime now = {};
    // Given, why this account must not work on the workstation with these roots (see workstationRefusal in
    // platform/platform_services.hpp); the run then fails before it changes anything.
    std::function<std::optional<std::string>(const std::vector<std::string>& roots)> workstationRefusal = {};
    // Given, the --log file's path as the host's file calls name it (see hostPathOf).
    std::function<std::string(const std::string&)> hostPath = {};
    // How long the run waits for its registration scripts before it gives up on them.
    std::chrono::milliseconds scriptBound = std::chrono::minutes(5);
};

// Runs --check, --install or --restore as options say, and gives the exit code.
int runHeadless(const Options& options, HeadlessServices& services);

} // namespace cli
} // namespace hotfix
