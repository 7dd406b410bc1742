#pragma once

#include "platform/process_launcher.hpp"
#include "support/temp_dir.hpp"

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace hotfix::test {

// A real launcher, watched: which scripts it was asked to start, how many of their exit handlers have run,
// and whether the last script had removed its own file when the installer learnt of its end.
class WatchedLauncher final : public ProcessLauncher {
public:
    explicit WatchedLauncher(std::unique_ptr<ProcessLauncher> real)
        : m_real(std::move(real)) {}

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override {
        started.push_back(scriptPath);
        return m_real->startScript(scriptPath, [this, scriptPath, onExit = std::move(onExit)](int code) {
            goneAtExit = !std::filesystem::exists(utf8Path(scriptPath));
            if (onExit) {
                onExit(code);
            }
            ++ended;
        });
    }

    // Written by the thread that starts scripts only.
    std::vector<std::string> started;
    std::atomic<int> ended{0};
    std::atomic<bool> goneAtExit{false};

private:
    std::unique_ptr<ProcessLauncher> m_real;
};

} // namespace hotfix::test
