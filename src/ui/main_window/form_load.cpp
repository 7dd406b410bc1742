// Start-up: the roots and the file lists, before the window is first shown.

#include "engine/file_lists.hpp"
#include "engine/text.hpp"
#include "platform/reg_module.hpp"
#include "ui/main_window/focus_flags.hpp"
#include "ui/main_window/frm_install_patch.hpp"
#include "ui/settings_store.hpp"
#include "ui/widgets/list_box.hpp"

#include <QLineEdit>
#include <QRadioButton>

namespace hotfix {

namespace {

constexpr const char* kProductRootKey = "SOFTWARE\\Vantrel Software";
constexpr const char* kWindowsRootKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kFallbackProductRoot = "C:\\Program Files\\Vantrel";

constexpr std::size_t kMostItems = 32767;

} // namespace

void FrmInstallPatch::Form_Load() {
    TxtPathHadFocus = false;
    TxtWinPathHadFocus = false;

    std::string result;
    RegModule::ReadRegValue(m_services.registry, RegistryApi::kLocalMachine, kProductRootKey, "QXINSTALLDIR",
                            result);
    TxtPath->setText(QString::fromStdString(result));

    // The Windows root is read into a text of its own: carrying the product root over when "PathName"
    // is missing would offer the product's folder as the Windows folder. A fresh Wine prefix has no
    // "PathName", only "SystemRoot".
    std::string windowsRoot;
    RegModule::ReadRegValue(m_services.registry, RegistryApi::kLocalMachine, kWindowsRootKey, "PathName",
                            windowsRoot);
    if (isBlank(windowsRoot)) {
        windowsRoot.clear();
        RegModule::ReadRegValue(m_services.registry, RegistryApi::kLocalMachine, kWindowsRootKey,
                                "SystemRoot", windowsRoot);
    }
    TxtWinPath->setText(QString::fromStdString(windowsRoot));

    if (isBlank(TxtPath->text().toStdString())) {
        TxtPath->setText(QString::fromStdString(m_services.settings.GetSetting(
            m_services.programFolder, kRootSetting.section, kRootSetting.key)));
    }
    if (isBlank(TxtPath->text().toStdString())) {
        TxtPath->setText(QString::fromLatin1(kFallbackProductRoot));
    }

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
    const bool found =
        LoadListFile(side, {m_services.programFolder, m_services.fs, m_services.msgBox}, *this);
    m_pending = nullptr;
    nameList(side)->addItems(std::move(pending.names));
    folderList(side)->addItems(std::move(pending.folders));
    if (!found) {
        (side == Side::Product ? TxtPath : TxtWinPath)->setEnabled(false);
        (side == Side::Product ? OptVantrel : OptWindows)->setEnabled(false);
    }
}

} // namespace hotfix
