#pragma once

#include <functional>

#include <QMetaObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

class QCheckBox;
class QTextBrowser;
class QWindow;

namespace hotfix {

// The read-me viewer: the package's readme.htm beside the main window. It has no owner window. Every load
// and every activation from another window of this program reloads the page from its start and places
// the viewer at the right edge of the screen, moving the main window left when the two would overlap.
// Closing it clears the main window's read-me box.
class FrmReadMe final : public QWidget {
    Q_OBJECT

public:
    // mainWindow is moved aside; chkReadMe is cleared when the viewer closes.
    FrmReadMe(QWidget& mainWindow, QCheckBox& chkReadMe, const QString& programFolder);
    ~FrmReadMe() override;

    // Shows the viewer, loading it first when it is not loaded (never shown, or closed since).
    void showViewer();
    bool isLoaded() const { return m_loaded; }

    void FrmReadMe_Form_Load();
    void FrmReadMe_Form_Activate();

    // The page: the program folder and "\readme.htm", joined as the platform joins paths.
    static QString pagePath(const QString& programFolder);

    QTextBrowser* WebBrowser1 = nullptr;

    // Opens a link to another page; the system's browser unless a test puts something else here.
    std::function<void(const QUrl&)> openExternal;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void place();
    void navigate();
    void focusWindowChanged(QWindow* now);
    void linkClicked(const QUrl& link);

    QWidget& m_mainWindow;
    QCheckBox& m_chkReadMe;
    QString m_page;
    bool m_loaded = false;
    // The window of this program that had the focus before; none when it was another program's.
    QPointer<QWindow> m_lastFocus;
    QMetaObject::Connection m_focusWatch;
};

} // namespace hotfix
