#include "cli/script_waiter.hpp"

namespace hotfix {

CallbackPoster ScriptWaiter::poster() {
    return [this](std::function<void()> handler) {
        {
            const std::lock_guard lock(m_mutex);
            m_handlers.push_back(std::move(handler));
        }
        m_arrived.notify_one();
    };
}

bool ScriptWaiter::startScript(const std::string& scriptPath, ExitHandler onExit) {
    if (m_real == nullptr || !m_real->startScript(scriptPath, [this, onExit = std::move(onExit)](int code) {
            --m_running;
            if (onExit) {
                onExit(code);
            }
        })) {
        return false;
    }
    ++m_running;
    return true;
}

bool ScriptWaiter::waitForScripts(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::unique_lock lock(m_mutex);
    while (m_running > 0) {
        if (!m_arrived.wait_until(lock, deadline, [this] { return !m_handlers.empty(); })) {
            return false;
        }
        std::function<void()> handler = std::move(m_handlers.front());
        m_handlers.pop_front();
        lock.unlock();
        handler();
        lock.lock();
    }
    return true;
}

} // namespace hotfix
