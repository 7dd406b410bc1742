#pragma once

class QWidget;

namespace hotfix {

// Keeps a top-level window off the taskbar, where the platform allows it without another title bar.
void keepOffTaskbar(QWidget& window);

} // namespace hotfix
