#pragma once

#include <QIcon>

namespace hotfix {

// The icon of every window of the program: 16 and 32 pixels, each in 16 colours, 256 colours and 24-bit.
QIcon programIcon();

} // namespace hotfix
