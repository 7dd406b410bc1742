// Start-up: the roots and the file lists, before the window is first shown.

#include "engine/file_lists.hpp"
#include "engine/startup.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/widgets/list_box.hpp"

#include <QLineEdit>
#include <QRadioButton>

namespace hotfix {

namespace {

constexpr std::size_t kMostItems = 32767;

} // namespace

void FrmInstallPatch::Form_Load() {
    TxtPathHadFocus = false;
    TxtWinPathHadFocus = false;

    const StartupRoots roots =
        readStartupRoots(m_services.registry, m_services.settings, m_services.programFolder);
    TxtPath->setText(QString::fromStdString(roots.product));
    TxtWinPath->setText(QString::fromStdString(roots.windows));

    loadList(Side::Product);
    loadList(Side::Windows);
    updateOptionTabStops();

    HighlightOn = false;
    ResetForeColors();
}

void FrmInstallPatch::loadList(Side side) {
    // Room for the most a side holds; pages that a short list never touches cost no memory.
    PendingList pending;
    pending.names.reserve(kMostItems);
    pending.folders.reserve(kMostItems);
    m_pending = &pending;
    const bool found = LoadListFile(
        side, {m_services.programFolder, m_services.fs, m_services.msgBox, m_services.codePages}, *this);
    m_pending = nullptr;
    nameList(side)->addItems(std::move(pending.names));
    folderList(side)->addItems(std::move(pending.folders));
    if (!found) {
        (side == Side::Product ? TxtPath : TxtWinPath)->setEnabled(false);
        (side == Side::Product ? OptVantrel : OptWindows)->setEnabled(false);
    }
}

} // namespace hotfix
