// The install button: the whole install, with the progress of a long one.

#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/install_progress.hpp"

namespace hotfix {

void FrmInstallPatch::cmdInstallPatch_Click() {
    setCursor(Qt::WaitCursor);
    m_progress->start();
    runInstall(*this, m_engineServices);
    m_progress->finish();
    unsetCursor();
}

void FrmInstallPatch::installProgress(int done, int total) {
    m_progress->show(done, total);
}

} // namespace hotfix
