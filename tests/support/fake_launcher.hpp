#pragma once

#include "platform/process_launcher.hpp"
#include "support/temp_dir.hpp"

#include <string>
#include <vector>

namespace hotfix::test {

// Starts nothing; keeps each script's content as it was at start and lets the test end the "process".
class FakeLauncher final : public ProcessLauncher {
public:
    struct Started {
        std::string path;
        std::string contentAtStart;
        ExitHandler onExit;
    };

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override {
        if (!startSucceeds) {
            return false;
        }
        started.push_back({scriptPath, contentOf ? contentOf(scriptPath) : std::string(), std::move(onExit)});
        return true;
    }

    // Ends every started process that has not ended yet, oldest first.
    void endAll() {
        for (Started& script : started) {
            if (script.onExit) {
                auto handler = std::move(script.onExit);
                script.onExit = nullptr;
                handler();
            }
        }
    }

    std::function<std::string(const std::string&)> contentOf;
    bool startSucceeds = true;
    std::vector<Started> started;
};

} // namespace hotfix::test
