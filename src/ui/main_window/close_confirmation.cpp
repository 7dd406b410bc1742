// Every way of closing the main window asks first; the program ends only on Yes.

#include "engine/messages.hpp"
#include "ui/main_window/frm_install_patch.hpp"

#include <QCloseEvent>

namespace hotfix {

void FrmInstallPatch::Form_Unload(bool& Cancel) {
    if (m_ending) {
        return; // the user has said Yes already
    }
    if (!askToClose()) {
        Cancel = true;
        return;
    }
    endProgram();
}

void FrmInstallPatch::closeEvent(QCloseEvent* event) {
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
    } else {
        event->accept();
    }
}

void FrmInstallPatch::CmdCancel_Click() {
    if (askToClose()) {
        endProgram();
    }
}

bool FrmInstallPatch::askToClose() {
    return m_services.msgBox.show(messages::confirmClose()) == MsgResult::Yes;
}

void FrmInstallPatch::endProgram() {
    m_ending = true;
    m_services.endProgram();
}

} // namespace hotfix
