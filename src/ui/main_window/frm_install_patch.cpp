#include "frm_install_patch.hpp"

#include "engine/file_lists.hpp"
#include "engine/messages.hpp"
#include "engine/text.hpp"
#include "focus_flags.hpp"
#include "frame.hpp"
#include "list_box.hpp"
#include "platform/msg_box.hpp"
#include "platform/reg_module.hpp"
#include "program_icon.hpp"
#include "ui/settings_store.hpp"
#include "wrapping_buttons.hpp"

#include <limits>

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>

namespace hotfix {

LocalDateTime localNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute()};
}

void endProgramNow() {
    // Not quit(): that would send every window a close request, and the question would be asked again.
    QCoreApplication::exit(0);
}

namespace {

constexpr const char* kProductRootKey = "SOFTWARE\\Vantrel Software";
constexpr const char* kWindowsRootKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kSettingsSection = "PatchVantrel";
constexpr const char* kSettingsKey = "FrmInstallPatchTxtPath";
constexpr const char* kFallbackProductRoot = "C:\\Program Files\\Vantrel";

constexpr std::size_t kMostItems = 32767;

const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);

// Places are given in twips; 15 twips make one logical pixel, which Qt scales on high-density screens.
QRect twips(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

// The installer's font where the machine has it, else a font of the same width (captions are laid out for
// it), else the toolkit's own; always at the size asked for.
QFont dialogFont(qreal pointSize) {
    static const QString family = [] {
        // One look at the installed families: asking for each candidate by name makes the font system
        // resolve it as an alias, which cost more than the rest of the window's start.
        const QStringList installed = QFontDatabase::families();
        for (const char* candidate : {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans"}) {
            if (installed.contains(QLatin1String(candidate), Qt::CaseInsensitive)) {
                return QString::fromLatin1(candidate);
            }
        }
        return QApplication::font().family();
    }();
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

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

std::string toStd(const QString& text) {
    return text.toStdString();
}

QString toQt(const std::string& text) {
    return QString::fromStdString(text);
}

template <typename Widget>
Widget* place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QLineEdit* makeTextBox(QWidget* parent, const char* name, const char* text, const QRect& geometry) {
    auto* box = place(new QLineEdit(QString::fromUtf8(text), parent), name, geometry);
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, const QRect& geometry) {
    auto* label = place(new QLabel(QString::fromUtf8(text), parent), name, geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// The unselected option button is no tab stop: Tab enters the pair at the selected one, and the arrow
// keys move between them.
void updateOptionTabStops(QRadioButton* first, QRadioButton* second) {
    QRadioButton* stop = first->isChecked() ? first : second;
    if (!stop->isEnabled()) {
        stop = stop == first ? second : first;
    }
    first->setFocusPolicy(first == stop ? Qt::StrongFocus : Qt::ClickFocus);
    second->setFocusPolicy(second == stop ? Qt::StrongFocus : Qt::ClickFocus);
}

} // namespace

FrmInstallPatch::FrmInstallPatch(MainWindowServices services, QWidget* parent)
    : QDialog(parent)
    , m_services(std::move(services))
    , m_engine{m_services.programFolder, m_services.fs, m_services.msgBox, m_services.launcher} {
    setObjectName(QStringLiteral("FrmInstallPatch"));
    setWindowTitle(QStringLiteral(" HotFix Installer"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(0, 0, 6975, 5400).size());
    setFont(dialogFont(8.0));
    setMouseTracking(true);
    createControls();
    connectHandlers();
}

FrmInstallPatch::~FrmInstallPatch() = default;

void FrmInstallPatch::createControls() {
    // Created in tab order, so that the focus chain starts at TxtPath.
    TxtPath = makeTextBox(this, "TxtPath", "C:\\", twips(1440, 120, 4575, 285));
    cmdBrowse =
        place(new QPushButton(QStringLiteral("&Browse"), this), "cmdBrowse", twips(6120, 240, 795, 390));
    TxtWinPath = makeTextBox(this, "TxtWinPath", "C:\\", twips(1440, 480, 4575, 285));
    Frame1 = place(new Frame(QStringLiteral("Suffix  Old Files with"), this), "Frame1",
                   twips(120, 840, 4575, 1095));
    txtAppendToFile = makeTextBox(Frame1, "txtAppendToFile", "backup", twips(1320, 360, 3135, 285));
    ChkAppedToFile = place(new WrappingCheckBox(QString::fromLatin1(messages::kAppendDateCaption), Frame1),
                           "ChkAppedToFile", twips(1320, 720, 3015, 195));
    chkRegisterDlls = place(new WrappingCheckBox(QStringLiteral("Register Dll's automatically"), this),
                            "chkRegisterDlls", twips(4800, 960, 2175, 255));
    chkShowAfterReg = place(new WrappingCheckBox(QStringLiteral("Show Message after registering Dll"), this),
                            "chkShowAfterReg", twips(4800, 1215, 1935, 480));
    chkCloseAfterInstallation =
        place(new WrappingCheckBox(QStringLiteral("Close Installer After Installation"), this),
              "chkCloseAfterInstallation", twips(4800, 1920, 2415, 360));
    OptVantrel = place(new WrappingRadioButton(QStringLiteral("Show New Vantrel Files"), this), "OptVantrel",
                       twips(4800, 2640, 2175, 195));
    OptWindows = place(new WrappingRadioButton(QStringLiteral("Show New Windows Files"), this), "OptWindows",
                       twips(4800, 2880, 2175, 195));
    chkReadMe = place(new WrappingCheckBox(QStringLiteral("&Show Read Me File"), this), "chkReadMe",
                      twips(4800, 3360, 2055, 480));
    cmdInstallPatch = place(new WrappingPushButton(QStringLiteral("&Install Patch"), this), "cmdInstallPatch",
                            twips(5160, 3840, 1215, 975));
    cmdCancel =
        place(new QPushButton(QStringLiteral("&Close"), this), "cmdCancel", twips(5880, 4920, 975, 375));
    lblVtrlPath = makeLabel(this, "lblVtrlPath", "Vantrel Path", twips(120, 120, 1200, 240));
    lblAppendToFile = makeLabel(Frame1, "lblAppendToFile", "Suffix Old Files", twips(120, 360, 1260, 195));
    FrmVantrel = place(new Frame(QStringLiteral("These Vantrel Files Will be Copied to "), this),
                       "FrmVantrel", twips(120, 2040, 4575, 3255));
    LstInstFileName = place(new ListBox(FrmVantrel), "LstInstFileName", twips(120, 240, 1815, 2955));
    LstInstFilePath = place(new ListBox(FrmVantrel), "LstInstFilePath", twips(1920, 240, 2535, 2955));
    Label1 = makeLabel(this, "Label1", "Windows Path", twips(120, 480, 1275, 240));
    FrmWindows = place(new Frame(QStringLiteral("These Windows Files Will be Copied to "), this),
                       "FrmWindows", twips(120, 2040, 4575, 3255));
    LstWinInstFilePath = place(new ListBox(FrmWindows), "LstWinInstFilePath", twips(1920, 240, 2535, 2955));
    LstWinInstFileName = place(new ListBox(FrmWindows), "LstWinInstFileName", twips(120, 240, 1815, 2955));
    cmdAbout =
        place(new QPushButton(QStringLiteral("&About"), this), "cmdAbout", twips(4800, 4920, 975, 375));

    cmdInstallPatch->setFont(dialogFont(12.0));
    for (QWidget* control : std::initializer_list<QWidget*>{chkReadMe, Label1, lblVtrlPath}) {
        control->setFont(dialogFont(9.75));
    }
    const QString rootTip =
        QStringLiteral("If the path displayed is not correct, please provide the correct %1");
    TxtPath->setToolTip(rootTip.arg(QStringLiteral("Vantrel Root Path")));
    TxtWinPath->setToolTip(rootTip.arg(QStringLiteral("Windows Root Path")));
    txtAppendToFile->setToolTip(QStringLiteral("Provide text which will be used as suffix to old files"));

    chkCloseAfterInstallation->setChecked(true);
    OptVantrel->setChecked(true);
    FrmWindows->setVisible(false);
    cmdInstallPatch->setDefault(true);
    updateOptionTabStops(OptVantrel, OptWindows);

    const std::initializer_list<QWidget*> tabOrder = {TxtPath,
                                                      cmdBrowse,
                                                      TxtWinPath,
                                                      txtAppendToFile,
                                                      ChkAppedToFile,
                                                      chkRegisterDlls,
                                                      chkShowAfterReg,
                                                      chkCloseAfterInstallation,
                                                      OptVantrel,
                                                      OptWindows,
                                                      chkReadMe,
                                                      cmdInstallPatch,
                                                      cmdCancel,
                                                      LstInstFileName,
                                                      LstInstFilePath,
                                                      LstWinInstFilePath,
                                                      LstWinInstFileName,
                                                      cmdAbout};
    QWidget* previous = nullptr;
    for (QWidget* control : tabOrder) {
        if (previous != nullptr) {
            setTabOrder(previous, control);
        }
        previous = control;
    }

    m_highlightable = {
        ChkAppedToFile, chkCloseAfterInstallation, chkReadMe, chkShowAfterReg, OptVantrel,
        OptWindows,     txtAppendToFile,           TxtPath,   TxtWinPath,      chkRegisterDlls};
    m_moveHandlers = {{ChkAppedToFile, &FrmInstallPatch::ChkAppedToFile_MouseMove},
                      {chkCloseAfterInstallation, &FrmInstallPatch::chkCloseAfterInstallation_MouseMove},
                      {chkReadMe, &FrmInstallPatch::chkReadMe_MouseMove},
                      {chkRegisterDlls, &FrmInstallPatch::chkRegisterDlls_MouseMove},
                      {chkShowAfterReg, &FrmInstallPatch::chkShowAfterReg_MouseMove},
                      {OptVantrel, &FrmInstallPatch::OptVantrel_MouseMove},
                      {OptWindows, &FrmInstallPatch::OptWindows_MouseMove},
                      {txtAppendToFile, &FrmInstallPatch::txtAppendToFile_MouseMove},
                      {TxtPath, &FrmInstallPatch::TxtPath_MouseMove},
                      {TxtWinPath, &FrmInstallPatch::TxtWinPath_MouseMove}};
    for (QWidget* control : m_highlightable) {
        control->setMouseTracking(true);
        control->installEventFilter(this);
    }
}

void FrmInstallPatch::connectHandlers() {
    // toggled, not clicked: a value set from code must run the handler exactly as a click does, and
    // setting the value a box already has runs nothing.
    connect(ChkAppedToFile, &QCheckBox::toggled, this, &FrmInstallPatch::ChkAppedToFile_Click);
    connect(chkReadMe, &QCheckBox::toggled, this, &FrmInstallPatch::chkReadMe_Click);
    connect(OptVantrel, &QRadioButton::toggled, this, [this](bool on) {
        updateOptionTabStops(OptVantrel, OptWindows);
        if (on) {
            OptVantrel_Click();
        }
    });
    connect(OptWindows, &QRadioButton::toggled, this, [this](bool on) {
        updateOptionTabStops(OptVantrel, OptWindows);
        if (on) {
            OptWindows_Click();
        }
    });
    connect(cmdInstallPatch, &QPushButton::clicked, this, &FrmInstallPatch::cmdInstallPatch_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmInstallPatch::CmdCancel_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &FrmInstallPatch::cmdBrowse_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &FrmInstallPatch::cmdAbout_Click);
}

void FrmInstallPatch::Form_Load() {
    TxtPathHadFocus = false;
    TxtWinPathHadFocus = false;

    std::string result;
    RegModule::ReadRegValue(m_services.registry, RegistryApi::kLocalMachine, kProductRootKey, "QXINSTALLDIR",
                            result);
    TxtPath->setText(toQt(result));

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
    TxtWinPath->setText(toQt(windowsRoot));

    if (isBlank(toStd(TxtPath->text()))) {
        TxtPath->setText(
            toQt(m_services.settings.GetSetting(m_services.programFolder, kSettingsSection, kSettingsKey)));
    }
    if (isBlank(toStd(TxtPath->text()))) {
        TxtPath->setText(QString::fromLatin1(kFallbackProductRoot));
    }

    loadList(Side::Product);
    loadList(Side::Windows);
    updateOptionTabStops(OptVantrel, OptWindows);

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
    return m_services.msgBox.show({"Are you sure, You want to close Installer", MsgButtons::YesNo,
                                   MsgIcon::Information, std::string("Close HotFix Installer")}) ==
           MsgResult::Yes;
}

void FrmInstallPatch::endProgram() {
    m_ending = true;
    m_services.endProgram();
}

void FrmInstallPatch::cmdInstallPatch_Click() {
    setCursor(Qt::WaitCursor);
    m_installTime.start();
    RunInstall(*this, m_engine);
    m_progress.reset();
    unsetCursor();
}

void FrmInstallPatch::installProgress(int done, int total) {
    // A short install shows no progress window; one that takes longer says how far it has come.
    if (!m_progress && m_installTime.isValid() && m_installTime.elapsed() >= 1000 && done < total) {
        m_progress = std::make_unique<QProgressDialog>(this);
        m_progress->setWindowTitle(windowTitle());
        m_progress->setCancelButton(nullptr);
        m_progress->setWindowModality(Qt::ApplicationModal);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setRange(0, total);
    }
    if (m_progress) {
        m_progress->setLabelText(tr("%1 of %2 files done").arg(done).arg(total));
        m_progress->setValue(done);
    }
}

void FrmInstallPatch::ChkAppedToFile_Click() {
    if (ChkAppedToFile->isChecked()) {
        ChkAppedToFile->setText(toQt(dateSuffix(m_services.clock())));
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

void FrmInstallPatch::TxtPath_GotFocus() {
    TxtPathHadFocus = true;
    TxtWinPathHadFocus = false;
}

void FrmInstallPatch::TxtWinPath_GotFocus() {
    TxtWinPathHadFocus = true;
    TxtPathHadFocus = false;
}

void FrmInstallPatch::ResetForeColors() {
    for (QWidget* control : m_highlightable) {
        setForeColor(control, kBlack);
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

bool FrmInstallPatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        // A disabled control gets no pointer events, as the installer has always behaved.
        const auto* control = qobject_cast<QWidget*>(watched);
        if (control != nullptr && control->isEnabled()) {
            for (const auto& [source, handler] : m_moveHandlers) {
                if (source == watched) {
                    (this->*handler)();
                    break;
                }
            }
        }
    } else if (event->type() == QEvent::FocusIn) {
        if (watched == TxtPath) {
            TxtPath_GotFocus();
        } else if (watched == TxtWinPath) {
            TxtWinPath_GotFocus();
        }
    }
    return QDialog::eventFilter(watched, event);
}

ListBox* FrmInstallPatch::nameList(Side side) const {
    return side == Side::Product ? LstInstFileName : LstWinInstFileName;
}

ListBox* FrmInstallPatch::folderList(Side side) const {
    return side == Side::Product ? LstInstFilePath : LstWinInstFilePath;
}

void FrmInstallPatch::addListItem(Side side, std::string name, std::string folder) {
    if (m_pending != nullptr) {
        m_pending->names.push_back(std::move(name));
        m_pending->folders.push_back(std::move(folder));
        return;
    }
    nameList(side)->addItem(std::move(name));
    folderList(side)->addItem(std::move(folder));
}

std::string FrmInstallPatch::rootText(Side side) const {
    return toStd((side == Side::Product ? TxtPath : TxtWinPath)->text());
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
    return toStd(txtAppendToFile->text());
}

bool FrmInstallPatch::appendDateTicked() const {
    return ChkAppedToFile->isChecked();
}

std::string FrmInstallPatch::appendDateCaption() const {
    return toStd(ChkAppedToFile->text());
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
