#include "ui/widgets/seen_frame.hpp"

#include <QWidget>

namespace hotfix {

void moveSeenFrameTo(QWidget& window, QPoint topLeft, const QWidget& like) {
    const QWidget& measured = window.isVisible() ? window : like;
    // Where the toolkit's frame starts, seen from the frame the user sees.
    const QPoint offset = measured.frameGeometry().topLeft() - seenFrame(measured).topLeft();
    window.move(topLeft + offset);
}

} // namespace hotfix
