// The window itself, and the wiring from its controls' events to the handlers.

#include "ui/main_window/frm_install_patch.hpp"

#include "ui/main_window/install_progress.hpp"
#include "ui/main_window/program_icon.hpp"
#include "ui/widgets/window_flags.hpp"

#include <utility>

#include <QCheckBox>
#include <QEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace hotfix {

FrmInstallPatch::FrmInstallPatch(MainWindowServices services, QWidget* parent)
    : QDialog(parent)
    , m_services(std::move(services))
    , m_scripts(m_services.launcher)
    , m_engineServices{m_services.programFolder, m_services.fs,          m_services.msgBox, m_scripts,
                       m_services.codePages,     m_services.recordFolder}
    , m_progress(std::make_unique<InstallProgress>(*this, m_services.steadyClock)) {
    m_engineServices.filesInUse = m_services.filesInUse;
    m_scripts.onAllEnded = [this] {
        if (!m_installing) {
            m_runHold.reset();
        }
    };
    setObjectName(QStringLiteral("FrmInstallPatch"));
    setWindowTitle(QStringLiteral(" HotFix Installer"));
    setWindowIcon(programIcon());
    setWindowFlags(fixedWindowFlags(Qt::Dialog));
    setMouseTracking(true);
    createControls();
    connectHandlers();
}

FrmInstallPatch::~FrmInstallPatch() = default;

void FrmInstallPatch::connectHandlers() {
    // toggled, not clicked: a value set from code must run the handler exactly as a click does, and
    // setting the value a box already has runs nothing.
    connect(ChkAppedToFile, &QCheckBox::toggled, this, &FrmInstallPatch::ChkAppedToFile_Click);
    connect(chkReadMe, &QCheckBox::toggled, this, &FrmInstallPatch::chkReadMe_Click);
    connect(OptVantrel, &QRadioButton::toggled, this, [this](bool on) {
        updateOptionTabStops();
        if (on) {
            OptVantrel_Click();
        }
    });
    connect(OptWindows, &QRadioButton::toggled, this, [this](bool on) {
        updateOptionTabStops();
        if (on) {
            OptWindows_Click();
        }
    });
    connect(cmdInstallPatch, &QPushButton::clicked, this, &FrmInstallPatch::cmdInstallPatch_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmInstallPatch::CmdCancel_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &FrmInstallPatch::cmdBrowse_Click);
    connect(cmdAbout, &QPushButton::clicked, this, &FrmInstallPatch::cmdAbout_Click);

    // The pointer's moves over the highlightable controls, and the focus of the root boxes (both of them
    // highlightable), come through eventFilter.
    for (const HoverTarget& target : m_hoverTargets) {
        target.control->setMouseTracking(true);
        target.control->installEventFilter(this);
    }
}

bool FrmInstallPatch::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        // A disabled control gets no pointer events, as the installer has always behaved.
        const auto* control = qobject_cast<QWidget*>(watched);
        if (control != nullptr && control->isEnabled()) {
            for (const HoverTarget& target : m_hoverTargets) {
                if (target.control == watched) {
                    (this->*target.onMouseMove)();
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

} // namespace hotfix
