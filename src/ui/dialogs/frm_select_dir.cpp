#include "ui/dialogs/frm_select_dir.hpp"

#include "engine/messages.hpp"
#include "platform/folder_browser.hpp"
#include "platform/msg_box.hpp"
#include "platform/settings_store.hpp"
#include "ui/dialogs/window_placement.hpp"
#include "ui/widgets/dir_list_box.hpp"
#include "ui/widgets/program_font.hpp"
#include "ui/widgets/twips.hpp"
#include "ui/widgets/window_flags.hpp"

#include <string>
#include <utility>

#include <QCloseEvent>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace hotfix {

FrmSelectDir::FrmSelectDir(RootBoxes roots, SelectDirServices services)
    : QDialog(&roots.mainWindow)
    , m_roots(roots)
    , m_services(std::move(services)) {
    setObjectName(QStringLiteral("FrmSelectDir"));
    setWindowTitle(QStringLiteral(" Select Directory"));
    setWindowFlags(fixedWindowFlags(Qt::Dialog));
    setFixedSize(twipsRect(0, 0, 3765, 4800).size());
    // A window takes no font from the window that owns it.
    setFont(programFont(kBaseFontPointSize));

    DriveSelect = new QComboBox(this);
    DriveSelect->setObjectName(QStringLiteral("DriveSelect"));
    DriveSelect->setGeometry(twipsRect(120, 240, 3495, 315));
    DriveSelect->setAccessibleName(QString::fromLatin1(messages::kDriveListName));
    DirSelect = new DirListBox(m_services.browser, this);
    DirSelect->setObjectName(QStringLiteral("DirSelect"));
    DirSelect->setGeometry(twipsRect(120, 720, 3495, 3240));
    DirSelect->setAccessibleName(QString::fromLatin1(messages::kFolderListName));
    CmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    CmdOk->setObjectName(QStringLiteral("CmdOk"));
    CmdOk->setGeometry(twipsRect(360, 4200, 1215, 495));
    CmdOk->setDefault(true);
    CmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    CmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    CmdCancel->setGeometry(twipsRect(2160, 4200, 1215, 495));
    setTabOrder(DriveSelect, DirSelect);
    setTabOrder(DirSelect, CmdOk);
    setTabOrder(CmdOk, CmdCancel);

    startAtTheCurrentFolder();

    // Connected only now: the opening drive is not a change.
    connect(DriveSelect, &QComboBox::currentIndexChanged, this, &FrmSelectDir::DriveSelect_Change);
    connect(CmdOk, &QPushButton::clicked, this, &FrmSelectDir::cmdOK_Click);
    connect(CmdCancel, &QPushButton::clicked, this, &FrmSelectDir::CmdCancel_Click);

    Form_Load();
}

void FrmSelectDir::startAtTheCurrentFolder() {
    for (const Drive& drive : m_services.browser.drives()) {
        DriveSelect->addItem(QString::fromStdString(drive.root.substr(0, 2)),
                             QChar::fromLatin1(drive.letter));
    }
    std::string start = m_services.browser.currentFolder();
    const std::string startRoot = driveRootOfPath(start);
    if ((startRoot.empty() || DriveSelect->findData(QChar::fromLatin1(startRoot[0])) < 0) &&
        DriveSelect->count() > 0) {
        // A current folder on no listed drive (a network share) would leave the two lists disagreeing.
        start = driveFolder(DriveSelect->itemData(0).toChar().toLatin1());
    }
    DirSelect->setPath(start);
    if (!DirSelect->path().empty()) {
        selectDrive(DirSelect->path()[0]);
    }
}

void FrmSelectDir::Form_Load() {
    const QWidget& main = m_roots.mainWindow;
    const QScreen* screen = main.screen();
    if (screen == nullptr) {
        return;
    }
    move(selectDirPlace(screen->geometry(), outerSize(*this, main), main.frameGeometry().width()));
}

void FrmSelectDir::showModal() {
    if (m_roots.TxtPathHadFocus) {
        setWindowTitle(QStringLiteral(" Select Vantrel Root Folder "));
    } else if (m_roots.TxtWinPathHadFocus) {
        setWindowTitle(QStringLiteral(" Select Windows Root Folder "));
    }
    m_closedByCloseBox = false;
    exec();
}

void FrmSelectDir::DriveSelect_Change() {
    const char letter = selectedDrive();
    if (letter == '\0') {
        return;
    }
    if (const auto error = m_services.browser.checkDrive(letter)) {
        if (error->number != kDeviceUnavailable) {
            // Any other failure is passed over: the drive list keeps the new drive, the folder list its
            // folder.
            return;
        }
        m_services.msgBox.show(messages::driveError(error->number, error->description));
        // Back to the folder list's drive, which raises this change once more for a drive that works.
        selectDrive(DirSelect->path().empty() ? '\0' : DirSelect->path()[0]);
        return;
    }
    // Going back to the drive the list already shows keeps its folder.
    if (driveRootOfPath(DirSelect->path()) != driveRootOfPath(std::string{letter, ':'})) {
        DirSelect->setPath(driveFolder(letter));
    }
}

void FrmSelectDir::cmdOK_Click() {
    const std::string folder = DirSelect->path();
    const QString text = QString::fromStdString(folder);
    if (m_roots.TxtPathHadFocus) {
        m_roots.TxtPath.setText(text);
    }
    if (m_roots.TxtWinPathHadFocus) {
        m_roots.TxtWinPath.setText(text);
    }
    hide();
    // The setting is what start-up offers as the product-family root: a Windows root has no place in it.
    if (m_roots.TxtPathHadFocus) {
        m_services.settings.SaveSetting(m_services.programFolder, kRootSetting.section, kRootSetting.key,
                                        folder);
    }
}

void FrmSelectDir::CmdCancel_Click() {
    hide();
}

void FrmSelectDir::closeEvent(QCloseEvent* event) {
    m_closedByCloseBox = true;
    event->accept();
    QDialog::closeEvent(event);
}

void FrmSelectDir::selectDrive(char letter) {
    const int index = DriveSelect->findData(QChar::fromLatin1(letter));
    if (index >= 0) {
        DriveSelect->setCurrentIndex(index);
    }
}

char FrmSelectDir::selectedDrive() const {
    const QVariant letter = DriveSelect->currentData();
    return letter.isValid() ? letter.toChar().toLatin1() : '\0';
}

std::string FrmSelectDir::driveFolder(char letter) const {
    const std::string root{letter, ':', '\\'};
    const std::string current = m_services.browser.currentFolder();
    return driveRootOfPath(current) == root ? current : root;
}

} // namespace hotfix
