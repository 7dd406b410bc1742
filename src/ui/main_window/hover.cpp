// The control under the pointer turns blue; the bare surface of the window turns it black again.

#include "ui/main_window/frm_install_patch.hpp"

#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>

namespace hotfix {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);

QPalette::ColorRole textRole(const QWidget* control) {
    return qobject_cast<const QLineEdit*>(control) ? QPalette::Text : QPalette::WindowText;
}

QColor foreColor(const QWidget* control) {
    return control->palette().color(QPalette::Active, textRole(control));
}

// Only the enabled look changes: a disabled control keeps the platform's grey.
void setForeColor(QWidget* control, const QColor& color) {
    QPalette palette = control->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, textRole(control), color);
        if (textRole(control) == QPalette::WindowText) {
            palette.setColor(group, QPalette::ButtonText, color);
        }
    }
    control->setPalette(palette);
}

} // namespace

void FrmInstallPatch::ResetForeColors() {
    for (const HoverTarget& target : m_hoverTargets) {
        setForeColor(target.control, kBlack);
    }
}

void FrmInstallPatch::highlight(QWidget* control) {
    if (foreColor(control) == kBlue) {
        return;
    }
    ResetForeColors();
    setForeColor(control, kBlue);
    HighlightOn = true;
}

void FrmInstallPatch::ChkAppedToFile_MouseMove() {
    highlight(ChkAppedToFile);
}
void FrmInstallPatch::chkCloseAfterInstallation_MouseMove() {
    highlight(chkCloseAfterInstallation);
}
void FrmInstallPatch::chkReadMe_MouseMove() {
    highlight(chkReadMe);
}
void FrmInstallPatch::chkRegisterDlls_MouseMove() {
    highlight(chkRegisterDlls);
}
void FrmInstallPatch::chkShowAfterReg_MouseMove() {
    highlight(chkShowAfterReg);
}
void FrmInstallPatch::OptVantrel_MouseMove() {
    highlight(OptVantrel);
}
void FrmInstallPatch::OptWindows_MouseMove() {
    highlight(OptWindows);
}
void FrmInstallPatch::txtAppendToFile_MouseMove() {
    highlight(txtAppendToFile);
}
void FrmInstallPatch::TxtPath_MouseMove() {
    highlight(TxtPath);
}
void FrmInstallPatch::TxtWinPath_MouseMove() {
    highlight(TxtWinPath);
}

void FrmInstallPatch::Form_MouseMove() {
    if (HighlightOn) {
        ResetForeColors();
        HighlightOn = false;
    }
}

void FrmInstallPatch::mouseMoveEvent(QMouseEvent* event) {
    // Check and option boxes pass their moves on to the window: only the bare surface counts here.
    if (childAt(event->position().toPoint()) == nullptr) {
        Form_MouseMove();
    }
    event->accept();
}

} // namespace hotfix
