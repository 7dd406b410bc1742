// The handlers of the check boxes, option buttons and root boxes that change this window only.

#include "engine/date_suffix.hpp"
#include "engine/messages.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/widgets/frame.hpp"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

namespace hotfix {

void FrmInstallPatch::ChkAppedToFile_Click() {
    if (ChkAppedToFile->isChecked()) {
        ChkAppedToFile->setText(QString::fromStdString(dateSuffix(m_services.clock())));
        txtAppendToFile->setEnabled(false);
    } else {
        ChkAppedToFile->setText(QString::fromLatin1(messages::kAppendDateCaption));
        txtAppendToFile->setEnabled(true);
    }
}

void FrmInstallPatch::OptVantrel_Click() {
    if (!OptVantrel->isChecked()) {
        return;
    }
    FrmVantrel->setVisible(true);
    FrmWindows->setVisible(false);
    OptWindows->setChecked(false);
}

void FrmInstallPatch::OptWindows_Click() {
    if (!OptWindows->isChecked()) {
        return;
    }
    FrmVantrel->setVisible(false);
    FrmWindows->setVisible(true);
    OptVantrel->setChecked(false);
}

// The unselected option button is no tab stop: Tab enters the pair at the selected one, and the arrow
// keys move between them.
void FrmInstallPatch::updateOptionTabStops() {
    QRadioButton* stop = OptVantrel->isChecked() ? OptVantrel : OptWindows;
    if (!stop->isEnabled()) {
        stop = stop == OptVantrel ? OptWindows : OptVantrel;
    }
    OptVantrel->setFocusPolicy(OptVantrel == stop ? Qt::StrongFocus : Qt::ClickFocus);
    OptWindows->setFocusPolicy(OptWindows == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void FrmInstallPatch::TxtPath_GotFocus() {
    TxtPathHadFocus = true;
    TxtWinPathHadFocus = false;
}

void FrmInstallPatch::TxtWinPath_GotFocus() {
    TxtWinPathHadFocus = true;
    TxtPathHadFocus = false;
}

} // namespace hotfix
