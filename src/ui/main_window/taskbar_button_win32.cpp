#include "ui/main_window/taskbar_button.hpp"

#include <QScreen>
#include <QWidget>

namespace hotfix {

// A window owned by a hidden window gets no taskbar button and keeps its ordinary title bar.
void keepOffTaskbar(QWidget& window) {
    static QWidget* const owner = [] {
        auto* hidden = new QWidget;
        hidden->winId();
        return hidden;
    }();
    window.setParent(owner, window.windowFlags());
    // A window with an owner would open over it; this one still opens in the middle of the screen.
    const QRect screen = window.screen()->availableGeometry();
    window.move(screen.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace hotfix
