#pragma once

#include "engine/install_run.hpp"
#include "engine/installer_window.hpp"
#include "platform/run_lock.hpp"
#include "ui/main_window/main_window_services.hpp"
#include "ui/main_window/script_tally.hpp"
#include "ui/widgets/list_box.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace hotfix {

class Frame;
class InstallProgress;

// The installer's main window. Controls and handlers carry the names the installer has always used; the
// install engine reads and drives the window through InstallerWindow. Its parts, one job to a file:
// main_window_layout.cpp makes the controls, frm_install_patch.cpp wires their events to the handlers,
// form_load.cpp fills the window at start-up, control_handlers.cpp and dialog_handlers.cpp answer the
// controls, hover.cpp highlights the control under the pointer, install_handler.cpp runs an install,
// close_confirmation.cpp asks before the program ends, and installer_window_view.cpp is the engine's view.
class FrmInstallPatch final : public QDialog, public InstallerWindow {
    Q_OBJECT

public:
    explicit FrmInstallPatch(MainWindowServices services, QWidget* parent = nullptr);
    ~FrmInstallPatch() override;

    // Fills the roots and the file lists; runs once, before the window is first shown.
    void Form_Load();
    // Any request to close the window: asks first; Cancel keeps the window open.
    void Form_Unload(bool& Cancel);
    void Form_MouseMove();

    void cmdInstallPatch_Click();
    void CmdCancel_Click() override;
    void ChkAppedToFile_Click();
    void OptVantrel_Click();
    void OptWindows_Click();
    void TxtPath_GotFocus();
    void TxtWinPath_GotFocus();
    // The handlers that open the other windows.
    void cmdBrowse_Click();
    void chkReadMe_Click();
    void cmdAbout_Click();

    void ChkAppedToFile_MouseMove();
    void chkCloseAfterInstallation_MouseMove();
    void chkReadMe_MouseMove();
    void chkRegisterDlls_MouseMove();
    void chkShowAfterReg_MouseMove();
    void OptVantrel_MouseMove();
    void OptWindows_MouseMove();
    void txtAppendToFile_MouseMove();
    void TxtPath_MouseMove();
    void TxtWinPath_MouseMove();
    void ResetForeColors();

    // InstallerWindow
    void addListItem(Side side, std::string_view name, std::string_view folder) override;
    std::string rootText(Side side) const override;
    int itemCount(Side side) const override;
    std::string itemName(Side side, int index) const override;
    std::string itemFolder(Side side, int index) const override;
    std::string appendToFileText() const override;
    bool appendDateTicked() const override;
    std::string appendDateCaption() const override;
    void tickAppendDate() override;
    bool registerDllsTicked() const override;
    bool showAfterRegTicked() const override;
    bool closeAfterInstallationTicked() const override;
    InstallState& installState() override { return m_installState; }
    void installProgress(int done, int total) override;

    // The controls; main_window_layout.cpp gives their tab order.
    QLineEdit* TxtPath = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* TxtWinPath = nullptr;
    QLineEdit* txtAppendToFile = nullptr;
    QCheckBox* ChkAppedToFile = nullptr;
    QCheckBox* chkRegisterDlls = nullptr;
    QCheckBox* chkShowAfterReg = nullptr;
    QCheckBox* chkCloseAfterInstallation = nullptr;
    QRadioButton* OptVantrel = nullptr;
    QRadioButton* OptWindows = nullptr;
    QCheckBox* chkReadMe = nullptr;
    QPushButton* cmdInstallPatch = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* lblVtrlPath = nullptr;
    Frame* Frame1 = nullptr;
    QLabel* lblAppendToFile = nullptr;
    Frame* FrmVantrel = nullptr;
    ListBox* LstInstFileName = nullptr;
    ListBox* LstInstFilePath = nullptr;
    QLabel* Label1 = nullptr;
    Frame* FrmWindows = nullptr;
    ListBox* LstWinInstFilePath = nullptr;
    ListBox* LstWinInstFileName = nullptr;
    QPushButton* cmdAbout = nullptr;

    // True while one of the ten highlightable controls is blue.
    bool HighlightOn = false;
    // Where the window stood when the read-me viewer was last shown.
    float SavedLeft = 0.0F;
    std::int16_t SavedTop = 0;

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Esc does nothing: the window has no cancel button, and closing goes through the confirmation.
    void reject() override {}

private:
    struct PendingList {
        ListBoxItems names;
        ListBoxItems folders;
    };

    // A control that the pointer highlights, and its handler.
    struct HoverTarget {
        QWidget* control;
        void (FrmInstallPatch::*onMouseMove)();
    };

    void createControls();
    void connectHandlers();
    void updateOptionTabStops();
    void highlight(QWidget* control);
    bool askToClose();
    void endProgram();
    ListBox* nameList(Side side) const;
    ListBox* folderList(Side side) const;
    void loadList(Side side);

    MainWindowServices m_services;
    // The engine's launcher: the machine stays this window's until the scripts of its install have ended.
    ScriptTally m_scripts;
    EngineServices m_engineServices;
    // From the install button until the scripts of the install have ended; empty otherwise.
    std::unique_ptr<RunLockHold> m_runHold;
    bool m_installing = false;
    InstallState m_installState;
    // In tab order, which is also the order ResetForeColors paints them in.
    std::vector<HoverTarget> m_hoverTargets;
    // While a list file is read, its items are gathered here and handed to the list boxes at once.
    PendingList* m_pending = nullptr;
    bool m_ending = false;
    std::unique_ptr<InstallProgress> m_progress;
    // The read-me viewer (dialog_handlers.cpp). It has no owner window, so this window keeps it; declared
    // last so that it goes first, while the rest of the window is still whole.
    std::unique_ptr<QWidget> m_readMe;
};

} // namespace hotfix
