#pragma once

#include <QFont>

namespace hotfix {

// The one face of the program, at the size asked for: every window and message box is drawn in it, as
// the toolkit's dialog font was the same for all of them.
QFont programFont(qreal pointSize);

// The size that controls without a font of their own use.
inline constexpr qreal kBaseFontPointSize = 8.0;

} // namespace hotfix
