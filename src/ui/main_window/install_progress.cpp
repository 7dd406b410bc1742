#include "ui/main_window/install_progress.hpp"

#include "engine/messages.hpp"

#include <utility>

#include <QProgressDialog>

namespace hotfix {

namespace {

constexpr std::chrono::milliseconds kQuietTime{1000};

} // namespace

InstallProgress::InstallProgress(QWidget& window, SteadyClock clock)
    : m_window(window)
    , m_clock(std::move(clock)) {}

InstallProgress::~InstallProgress() = default;

void InstallProgress::start() {
    m_started = m_clock();
}

void InstallProgress::show(int done, int total) {
    if (!m_dialog && m_started && m_clock() - *m_started >= kQuietTime && done < total) {
        m_dialog = std::make_unique<QProgressDialog>(&m_window);
        m_dialog->setWindowTitle(m_window.windowTitle());
        m_dialog->setCancelButton(nullptr);
        m_dialog->setWindowModality(Qt::ApplicationModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setRange(0, total);
    }
    if (m_dialog) {
        m_dialog->setLabelText(QString::fromStdString(messages::filesDone(done, total)));
        m_dialog->setValue(done);
    }
}

void InstallProgress::finish() {
    m_dialog.reset();
}

} // namespace hotfix
