#pragma once

#include <functional>

#include <QWidget>

namespace hotfix::test {

// Runs action on the modal window that the next step opens, as soon as it is on screen. Call it before
// the step that opens the window (and blocks in its own event loop).
void whenModal(std::function<void(QWidget&)> action);

// Sends a key press to the widget that has the focus inside window, or to window itself.
void pressKey(QWidget& window, Qt::Key key);

} // namespace hotfix::test
