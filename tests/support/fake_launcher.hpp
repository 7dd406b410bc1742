#pragma once

#include "platform/process_launcher.hpp"
#include "support/temp_dir.hpp"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace hotfix::test {

// Starts nothing; keeps each script's content as it was at start and lets the test end the "process". An
// ended script has removed its own file, as the real ones do with their last line, unless the test says
// that its interpreter ended early.
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
                if (scriptsRemoveThemselves) {
                    std::error_code error;
                    std::filesystem::remove(hostPath(script.path), error);
                }
                auto handler = std::move(script.onExit);
                script.onExit = nullptr;
                handler(exitCode);
            }
        }
    }

    // The tests' paths are real temporary paths joined with "\"; "/" separates on every host.
    static std::filesystem::path hostPath(std::string path) {
        for (char& c : path) {
            if (c == '\\') {
                c = '/';
            }
        }
        return path;
    }

    std::function<std::string(const std::string&)> contentOf;
    bool startSucceeds = true;
    bool scriptsRemoveThemselves = true;
    // What the interpreters end with.
    int exitCode = 0;
    std::vector<Started> started;
};

} // namespace hotfix::test
