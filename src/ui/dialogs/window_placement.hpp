#pragma once

#include <optional>

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace hotfix {

// A window's outer size, frame and title bar included, as the toolkit gives it. A window that has never been
// shown has no frame yet; the frame of a window that is on screen stands in for it.
QSize outerSize(const QWidget& window, const QWidget& shownWindow);
// The same measured on the frame the user sees (seenFrame).
QSize seenOuterSize(const QWidget& window, const QWidget& shownWindow);

// The folder picker's place on its first opening: centred vertically, and as far left of the screen's
// right edge as half of its own width and half of the main window's together.
QPoint selectDirPlace(const QRect& screen, QSize picker, int mainWidth);

// Where the read-me viewer and the main window go, in twips and single precision. mainLeft is empty when
// the main window stays where it is. Nothing is clamped to the screen.
struct ReadMePlacement {
    float viewerLeft = 0.0F;
    float viewerTop = 0.0F;
    std::optional<float> mainLeft;
};

ReadMePlacement readMePlacement(float screenWidth, float screenHeight, float viewerWidth, float viewerHeight,
                                float mainWidth, float mainLeft);

} // namespace hotfix
