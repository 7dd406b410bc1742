// The install button: the whole install, with the progress of a long one.

#include "engine/messages.hpp"
#include "platform/msg_box.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/install_progress.hpp"

namespace hotfix {

void FrmInstallPatch::cmdInstallPatch_Click() {
    // The machine is the window's before the install looks at anything, and until its scripts have ended.
    if (m_runHold == nullptr) {
        auto hold = std::make_unique<RunLockHold>(m_services.runLock);
        if (!hold->held()) {
            m_services.msgBox.show(messages::anotherRunInProgress());
            return;
        }
        m_runHold = std::move(hold);
    }
    setCursor(Qt::WaitCursor);
    m_progress->start();
    m_installing = true;
    runInstall(*this, m_engineServices);
    m_installing = false;
    m_progress->finish();
    unsetCursor();
    if (m_scripts.running() == 0) {
        m_runHold.reset();
    }
}

void FrmInstallPatch::installProgress(int done, int total) {
    m_progress->show(done, total);
}

} // namespace hotfix
