#pragma once

#include "platform/platform_services.hpp"
#include "platform/process_launcher.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace hotfix {

// Lets a run without a window wait for its registration scripts. The real launcher hands each script's exit
// handler to the waiter, which runs it on the waiting thread: the engine's handlers never run beside the
// engine itself.
class ScriptWaiter final : public ProcessLauncher {
public:
    // What the real launcher must be made with.
    CallbackPoster poster();
    void useLauncher(ProcessLauncher& real) { m_real = &real; }

    bool startScript(const std::string& scriptPath, ExitHandler onExit) override;

    // Runs exit handlers as they arrive until no script runs any longer or the bound has passed; false when
    // a script still runs then.
    bool waitForScripts(std::chrono::milliseconds bound);

private:
    ProcessLauncher* m_real = nullptr;
    int m_running = 0; // touched only by the waiting thread
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::deque<std::function<void()>> m_handlers;
};

} // namespace hotfix
