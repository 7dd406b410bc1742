#include "ui/dialogs/window_placement.hpp"

#include "ui/widgets/seen_frame.hpp"

#include <cmath>

#include <QWidget>

namespace hotfix {

namespace {

QRect toolkitFrame(const QWidget& window) {
    return window.frameGeometry();
}

QSize outerSizeBy(QRect (*frameOf)(const QWidget&), const QWidget& window, const QWidget& shownWindow) {
    if (window.isVisible()) {
        return frameOf(window).size();
    }
    const QSize frame = frameOf(shownWindow).size() - shownWindow.size();
    return window.size() + frame;
}

} // namespace

QSize outerSize(const QWidget& window, const QWidget& shownWindow) {
    return outerSizeBy(toolkitFrame, window, shownWindow);
}

QSize seenOuterSize(const QWidget& window, const QWidget& shownWindow) {
    return outerSizeBy(seenFrame, window, shownWindow);
}

QPoint selectDirPlace(const QRect& screen, QSize picker, int mainWidth) {
    const double left = screen.width() - (picker.width() / 2.0 + mainWidth / 2.0);
    const double top = screen.height() / 2.0 - picker.height() / 2.0;
    return screen.topLeft() + QPoint(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)));
}

ReadMePlacement readMePlacement(float screenWidth, float screenHeight, float viewerWidth, float viewerHeight,
                                float mainWidth, float mainLeft) {
    ReadMePlacement place;
    place.viewerLeft = screenWidth - viewerWidth;
    place.viewerTop = screenHeight / 2.0F - viewerHeight / 2.0F;
    // The main window moves only when it would reach under the viewer.
    const float limit = screenWidth - (mainWidth + viewerWidth);
    if (limit <= mainLeft) {
        place.mainLeft = screenWidth - (viewerWidth + mainWidth);
    }
    return place;
}

} // namespace hotfix
