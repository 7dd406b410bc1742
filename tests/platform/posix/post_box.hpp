#pragma once

#include "platform/platform_services.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace hotfix::test {

// Stands in for the user-interface thread: keeps the handlers posted to it until the test runs them.
class PostBox {
public:
    CallbackPoster poster() {
        return [this](std::function<void()> handler) {
            const std::lock_guard lock(m_mutex);
            m_handlers.push_back(std::move(handler));
            m_posted.notify_all();
        };
    }

    bool runNext(std::chrono::seconds timeout = std::chrono::seconds(30)) {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_for(lock, timeout, [this] { return !m_handlers.empty(); })) {
            return false;
        }
        auto handler = std::move(m_handlers.front());
        m_handlers.pop_front();
        lock.unlock();
        handler();
        return true;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_handlers;
};

} // namespace hotfix::test
