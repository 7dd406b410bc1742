// The handlers of the main window that open the other windows: the folder picker, the read-me viewer
// and the about box.

#include "ui/dialogs/frm_about.hpp"
#include "ui/dialogs/frm_read_me.hpp"
#include "ui/dialogs/frm_select_dir.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/main_window/program_icon.hpp"
#include "ui/main_window/taskbar_button.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include <QCheckBox>

namespace hotfix {

void FrmInstallPatch::cmdBrowse_Click() {
    // The hourglass over this window only: an application-wide one would cover the picker too.
    setCursor(Qt::WaitCursor);
    // The picker lives on between openings as a child of this window, unless its close box ended it.
    auto* picker = findChild<FrmSelectDir*>(QString(), Qt::FindDirectChildrenOnly);
    if (picker == nullptr) {
        picker = new FrmSelectDir(
            {*this, *TxtPath, *TxtWinPath, TxtPathHadFocus, TxtWinPathHadFocus},
            {m_services.folderBrowser, m_services.msgBox, m_services.settings, m_services.programFolder});
    }
    picker->showModal();
    if (picker->closedByCloseBox()) {
        delete picker;
    }
    unsetCursor();
}

void FrmInstallPatch::chkReadMe_Click() {
    if (chkReadMe->isChecked()) {
        SavedLeft = static_cast<float>(x());
        // A top edge beyond what SavedTop holds is kept at its nearest end.
        SavedTop = static_cast<std::int16_t>(std::clamp(y(), int{std::numeric_limits<std::int16_t>::min()},
                                                        int{std::numeric_limits<std::int16_t>::max()}));
        if (!m_readMe) {
            const std::string& folder = m_services.hostProgramFolder.empty() ? m_services.programFolder
                                                                             : m_services.hostProgramFolder;
            auto viewer = std::make_unique<FrmReadMe>(*this, *chkReadMe, QString::fromStdString(folder));
            viewer->setWindowIcon(programIcon());
            keepOffTaskbar(*viewer);
            m_readMe = std::move(viewer);
        }
        static_cast<FrmReadMe&>(*m_readMe).showViewer();
    } else {
        move(static_cast<int>(std::lround(SavedLeft)), SavedTop);
        if (m_readMe) {
            m_readMe->hide();
        }
    }
}

void FrmInstallPatch::cmdAbout_Click() {
    // Built afresh at every opening and gone once it closes.
    frmAbout about(this);
    about.exec();
}

} // namespace hotfix
