#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QProgressDialog;
class QWidget;

namespace hotfix {

// The progress window of an install. A short install shows none; one that has run for a second says how
// many files are done, until the run ends.
class InstallProgress {
public:
    using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;

    InstallProgress(QWidget& window, SteadyClock clock);
    ~InstallProgress();
    InstallProgress(const InstallProgress&) = delete;
    InstallProgress& operator=(const InstallProgress&) = delete;

    // A run starts now.
    void start();
    void show(int done, int total);
    // The run has ended: its progress window goes.
    void finish();

private:
    QWidget& m_window;
    SteadyClock m_clock;
    std::optional<std::chrono::steady_clock::time_point> m_started;
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace hotfix
