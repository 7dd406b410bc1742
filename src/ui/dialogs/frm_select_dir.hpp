#pragma once

#include <string>

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace hotfix {

class DirListBox;
class FolderBrowser;
class MsgBox;
class SettingsStore;

// The main window's two root boxes, which the picker fills, and the focus flags that say which one it fills.
struct RootBoxes {
    QWidget& mainWindow;
    QLineEdit& TxtPath;
    QLineEdit& TxtWinPath;
    const bool& TxtPathHadFocus;
    const bool& TxtWinPathHadFocus;
};

// What the picker reaches the machine through: the drives and folders, the message box, the saved setting.
struct SelectDirServices {
    FolderBrowser& browser;
    MsgBox& msgBox;
    SettingsStore& settings;
    // The application under which the chosen folder is saved: the program's own folder.
    std::string programFolder;
};

// The folder picker. It is created on its first opening and placed then; OK and Cancel hide it and it
// keeps its drive, folder and place for the next opening. Its close box closes it for good: whoever
// opened it deletes it then (closedByCloseBox), and the next opening starts afresh.
class FrmSelectDir final : public QDialog {
    Q_OBJECT

public:
    FrmSelectDir(RootBoxes roots, SelectDirServices services);

    // Sets the caption from the focus flags and shows the picker modally; returns once it is hidden or
    // closed.
    void showModal();
    bool closedByCloseBox() const { return m_closedByCloseBox; }

    void DriveSelect_Change();
    void cmdOK_Click();
    void CmdCancel_Click();

    QComboBox* DriveSelect = nullptr;
    DirListBox* DirSelect = nullptr;
    QPushButton* CmdOk = nullptr;
    QPushButton* CmdCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc cancels, as Cancel does.
    void reject() override { CmdCancel_Click(); }

private:
    void Form_Load();
    // Both lists at the process's current drive and folder.
    void startAtTheCurrentFolder();
    void selectDrive(char letter);
    char selectedDrive() const;
    // The folder the list shows for a drive it moves to: the process's current folder on that drive, or
    // its root.
    std::string driveFolder(char letter) const;

    RootBoxes m_roots;
    SelectDirServices m_services;
    bool m_closedByCloseBox = false;
};

} // namespace hotfix
