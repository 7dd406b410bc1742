// The window as the install engine reads and drives it (InstallerWindow).

#include "ui/main_window/frm_install_patch.hpp"
#include "ui/widgets/list_box.hpp"

#include <QCheckBox>
#include <QLineEdit>

namespace hotfix {

ListBox* FrmInstallPatch::nameList(Side side) const {
    return side == Side::Product ? LstInstFileName : LstWinInstFileName;
}

ListBox* FrmInstallPatch::folderList(Side side) const {
    return side == Side::Product ? LstInstFilePath : LstWinInstFilePath;
}

void FrmInstallPatch::addListItem(Side side, std::string_view name, std::string_view folder) {
    if (m_pending != nullptr) {
        m_pending->names.add(name);
        m_pending->folders.add(folder);
        return;
    }
    nameList(side)->addItem(name);
    folderList(side)->addItem(folder);
}

std::string FrmInstallPatch::rootText(Side side) const {
    return (side == Side::Product ? TxtPath : TxtWinPath)->text().toStdString();
}

int FrmInstallPatch::itemCount(Side side) const {
    return nameList(side)->count();
}

std::string FrmInstallPatch::itemName(Side side, int index) const {
    return nameList(side)->item(index);
}

std::string FrmInstallPatch::itemFolder(Side side, int index) const {
    return folderList(side)->item(index);
}

std::string FrmInstallPatch::appendToFileText() const {
    return txtAppendToFile->text().toStdString();
}

bool FrmInstallPatch::appendDateTicked() const {
    return ChkAppedToFile->isChecked();
}

std::string FrmInstallPatch::appendDateCaption() const {
    return ChkAppedToFile->text().toStdString();
}

void FrmInstallPatch::tickAppendDate() {
    ChkAppedToFile->setChecked(true);
}

bool FrmInstallPatch::registerDllsTicked() const {
    return chkRegisterDlls->isChecked();
}

bool FrmInstallPatch::showAfterRegTicked() const {
    return chkShowAfterReg->isChecked();
}

bool FrmInstallPatch::closeAfterInstallationTicked() const {
    return chkCloseAfterInstallation->isChecked();
}

} // namespace hotfix
