#pragma once

#include <QPoint>
#include <QRect>

class QWidget;

namespace hotfix {

// The frame the user sees around a shown top-level window, title bar included, in the toolkit's
// coordinates. The toolkit's own frame assumes the invisible resize borders of Windows 10, which Wine and
// older Windows draw as part of the frame: where the window manager reports the frame it draws, that
// report is taken. A window not shown yet has the toolkit's frame.
QRect seenFrame(const QWidget& window);

// Moves a top-level window so that its seen frame's top left corner lands on the point. A hidden window's
// frame is not known yet: `like`, a shown window of the same kind, stands in for it.
void moveSeenFrameTo(QWidget& window, QPoint topLeft, const QWidget& like);

} // namespace hotfix
