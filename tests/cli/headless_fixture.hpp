#pragma once

#include "cli/headless_run.hpp"
#include "cli/script_waiter.hpp"
#include "platform/platform_services.hpp"
#include "support/code_pages.hpp"
#include "support/fake_launcher.hpp"
#include "support/fake_registry.hpp"
#include "support/fake_run_lock.hpp"
#include "support/memory_settings.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

namespace hotfix::cli::test {

namespace fs = std::filesystem;
using namespace hotfix::test;

// Runs a script at once: it removes itself, as its last line does, and its exit is handed to the waiter.
class InstantLauncher final : public ProcessLauncher {
public:
    bool startScript(const std::string& scriptPath, ExitHandler onExit) override {
        const fs::path path = FakeLauncher::hostPath(scriptPath);
        scripts.push_back(readFile(path));
        fs::remove(path);
        post([onExit = std::move(onExit), code = exitCode] { onExit(code); });
        return true;
    }
    CallbackPoster post;
    std::vector<std::string> scripts;
    // What the interpreters end with.
    int exitCode = 0;
};

// The process dies: nothing after this call runs.
struct Crash {};

// A package with both sides, a workstation with the roots Vantrel and WINNT, and a machine data folder for
// the records, all on real temporary folders.
class HeadlessMachine {
public:
    HeadlessMachine() {
        package.write("Setup/InstallPatch.BLR", "bin\\core.dll, bin\\viewer.dll, Common\\help.txt\r\n");
        package.write("Setup/InstallWinPatch.BLR", "system32\\hook.dll\r\n");
        package.write("Setup/Vtrl/bin/core.dll", "core 2");
        package.write("Setup/Vtrl/bin/viewer.dll", "viewer 2 (new)");
        package.write("Setup/Vtrl/Common/help.txt", "help 2");
        package.write("Setup/Othr/system32/hook.dll", "hook 2");
        machine.write("Vantrel/bin/core.dll", "core 1");
        machine.write("Vantrel/Common/help.txt", "help 1");
        machine.write("WINNT/system32/hook.dll", "hook 1");
        registry.set("SOFTWARE\\Vantrel Software", "QXINSTALLDIR", root("Vantrel"));
        registry.set("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "PathName", root("WINNT"));
        startProcess();
    }

    // A new process of the program: what the last one waited for went with it.
    void startProcess() {
        waiter = std::make_unique<ScriptWaiter>();
        instant.post = waiter->poster();
        waiter->useLauncher(instant);
    }

    std::string root(std::string_view name) const { return (machine.path() / name).string(); }

    int run(const std::vector<std::string>& arguments, FileSystem* through = nullptr) {
        out.str("");
        err.str("");
        const auto parsed = parseCommandLine(arguments);
        if (const auto* error = std::get_if<ArgumentError>(&parsed)) {
            err << error->message;
            return kBadArguments;
        }
        HeadlessServices services{package.str(),
                                  through != nullptr ? *through : *files,
                                  machineCodePages(),
                                  registry,
                                  settings,
                                  *waiter,
                                  recordFolder,
                                  out,
                                  err};
        services.now = {2026, 12, 7, 9, 5};
        services.runLock = &runLock;
        services.filesInUse = filesInUse;
        return runHeadless(std::get<Options>(parsed), services);
    }

    std::vector<std::string> outLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // Everything on the machine but its logs, which every install and restore writes to.
    std::map<std::string, std::string> everything() const {
        std::map<std::string, std::string> records = filesBelow(data.path());
        std::erase_if(records, [](const auto& entry) { return entry.first.starts_with("Logs/"); });
        return {{"machine", flatten(filesBelow(machine.path()))},
                {"package", flatten(filesBelow(package.path()))},
                {"data", flatten(records)}};
    }

    std::string machineLog() const {
        const auto logs = filesBelow(data.path() / "Logs");
        return logs.empty() ? std::string() : logs.begin()->second;
    }

    static std::string flatten(const std::map<std::string, std::string>& files) {
        std::string text;
        for (const auto& [path, content] : files) {
            text += path + "=" + content + "\n";
        }
        return text;
    }

    TempDir package;
    TempDir machine;
    TempDir data;
    std::string recordFolder = data.str();
    std::unique_ptr<FileSystem> files = makeFileSystem();
    FakeRegistry registry;
    MemorySettings settings;
    InstantLauncher instant;
    FakeRunLock runLock;
    FilesInUse* filesInUse = nullptr;
    std::unique_ptr<ScriptWaiter> waiter;
    std::ostringstream out;
    std::ostringstream err;
};

class Headless : public ::testing::Test, public HeadlessMachine {};

} // namespace hotfix::cli::test
