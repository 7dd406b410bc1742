#include "ui/dialogs/frm_read_me.hpp"

#include "ui/dialogs/window_placement.hpp"
#include "ui/widgets/program_font.hpp"
#include "ui/widgets/seen_frame.hpp"
#include "ui/widgets/twips.hpp"
#include "ui/widgets/window_flags.hpp"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QTextBrowser>
#include <QWindow>

namespace hotfix {

FrmReadMe::FrmReadMe(QWidget& mainWindow, QCheckBox& chkReadMe, const QString& programFolder)
    : QWidget(nullptr)
    , openExternal([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , m_mainWindow(mainWindow)
    , m_chkReadMe(chkReadMe)
    , m_page(pagePath(programFolder)) {
    setObjectName(QStringLiteral("FrmReadMe"));
    setWindowTitle(QStringLiteral(" Hot Fix Read Me"));
    // A plain window, not a dialog: a dialog without an owner is still kept above the program's other
    // windows by some window managers, and this one has no owner.
    setWindowFlags(fixedWindowFlags(Qt::Window));
    setFixedSize(twipsRect(0, 0, 6120, 8190).size());
    setFont(programFont(kBaseFontPointSize));

    WebBrowser1 = new QTextBrowser(this);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(twipsRect(0, 0, 6135, 8175));
    // The page is named by the window's caption.
    WebBrowser1->setAccessibleName(windowTitle().trimmed());
    // Links to other pages go to the system's browser; this window shows the read-me only.
    WebBrowser1->setOpenLinks(false);
    connect(WebBrowser1, &QTextBrowser::anchorClicked, this, &FrmReadMe::linkClicked);

    m_lastFocus = QGuiApplication::focusWindow();
    m_focusWatch = connect(qApp, &QGuiApplication::focusWindowChanged, this, &FrmReadMe::focusWindowChanged);
}

FrmReadMe::~FrmReadMe() {
    // Hiding on the way out moves the focus; that must not reach a half-destroyed viewer.
    disconnect(m_focusWatch);
}

QString FrmReadMe::pagePath(const QString& programFolder) {
    return programFolder + QDir::separator() + QStringLiteral("readme.htm");
}

void FrmReadMe::showViewer() {
    if (!m_loaded) {
        m_loaded = true;
        FrmReadMe_Form_Load();
    }
    show();
    raise();
    activateWindow();
}

void FrmReadMe::FrmReadMe_Form_Load() {
    place();
}

void FrmReadMe::FrmReadMe_Form_Activate() {
    place();
}

void FrmReadMe::closeEvent(QCloseEvent* event) {
    event->accept();
    m_loaded = false;
    // Clearing the box runs the main window's read-me toggle: the main window goes back, the viewer hides.
    m_chkReadMe.setChecked(false);
}

void FrmReadMe::focusWindowChanged(QWindow* now) {
    const QPointer<QWindow> before = m_lastFocus;
    m_lastFocus = now;
    // Coming back from another program is no activation: the focus then comes from no window of ours.
    if (now != nullptr && now == windowHandle() && before != nullptr && before != now && isVisible()) {
        FrmReadMe_Form_Activate();
    }
}

void FrmReadMe::place() {
    navigate();

    const QScreen* screen = m_mainWindow.screen();
    if (screen == nullptr) {
        return;
    }
    // Measured on the frames the user sees: the viewer touches the screen's right edge, and the main window's
    // frame meets the viewer's.
    const QRect area = screen->geometry();
    const QSize viewer = seenOuterSize(*this, m_mainWindow);
    const QRect main = seenFrame(m_mainWindow);
    const ReadMePlacement where =
        readMePlacement(toTwips(area.width()), toTwips(area.height()), toTwips(viewer.width()),
                        toTwips(viewer.height()), toTwips(main.width()), toTwips(main.x() - area.x()));
    moveSeenFrameTo(*this, area.topLeft() + QPoint(toPixels(where.viewerLeft), toPixels(where.viewerTop)),
                    m_mainWindow);
    if (where.mainLeft) {
        moveSeenFrameTo(m_mainWindow, QPoint(area.x() + toPixels(*where.mainLeft), main.y()), m_mainWindow);
    }
}

void FrmReadMe::navigate() {
    // A run of separators is one, as everywhere else in the installer.
    const QString file = QDir::cleanPath(QDir::fromNativeSeparators(m_page));
    if (!QFileInfo(file).isFile()) {
        // No page, no message: the viewer stays empty.
        WebBrowser1->clear();
        return;
    }
    const QUrl url = QUrl::fromLocalFile(file);
    // Asked for the page it already shows, the browser would keep it as it is.
    if (WebBrowser1->source() == url) {
        WebBrowser1->reload();
    } else {
        WebBrowser1->setSource(url);
    }
    WebBrowser1->verticalScrollBar()->setValue(0);
    WebBrowser1->horizontalScrollBar()->setValue(0);
}

void FrmReadMe::linkClicked(const QUrl& link) {
    const QUrl target = WebBrowser1->source().resolved(link);
    if (link.hasFragment() && target.matches(WebBrowser1->source(), QUrl::RemoveFragment)) {
        WebBrowser1->scrollToAnchor(link.fragment());
        return;
    }
    if (openExternal) {
        openExternal(target);
    }
}

} // namespace hotfix
