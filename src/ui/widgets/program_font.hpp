#pragma once

#include <functional>

#include <QFont>

namespace hotfix {

// The one face of the program, at the size asked for times the program's font scale: every window and
// message box is drawn in it, as the toolkit's dialog font was the same for all of them.
QFont programFont(qreal pointSize);

// The face at the size asked for times the given scale, for trying a scale before it is chosen.
QFont programFontAt(qreal pointSize, qreal scale);

// Chooses the program's font scale once: the largest, in quarter points of the base size, at which
// captionsWhole(scale) holds. The installer's own face needs none; a wider face that stands in for it is
// drawn just small enough that no caption is cut. Later calls keep the first choice.
void fitProgramFont(const std::function<bool(qreal scale)>& captionsWhole);

// 1 until fitProgramFont has chosen.
qreal programFontScale();

// The size that controls without a font of their own use.
inline constexpr qreal kBaseFontPointSize = 8.0;

} // namespace hotfix
