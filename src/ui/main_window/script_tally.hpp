#pragma once

#include "platform/process_launcher.hpp"

#include <functional>
#include <string>
#include <utility>

namespace hotfix {

// The window's launcher: counts the registration scripts it started that still run, so that the machine's
// run lock can be held until the last has ended. Exit handlers, and so the count, run on the user-interface
// thread.
class ScriptTally final : public ProcessLauncher {
public:
    explicit ScriptTally(ProcessLauncher& real)
        : m_real(real) {}

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override {
        // Counted first: a launcher may run the handler before it returns.
        ++m_running;
        const bool started = m_real.startScript(scriptPath, [this, onExit = std::move(onExit)](int code) {
            onExit(code);
            ended();
        });
        if (!started) {
            ended();
        }
        return started;
    }

    int running() const { return m_running; }
    // Runs each time the last running script has ended.
    std::function<void()> onAllEnded;

private:
    void ended() {
        if (--m_running == 0 && onAllEnded) {
            onAllEnded();
        }
    }

    ProcessLauncher& m_real;
    int m_running = 0;
};

} // namespace hotfix
