#include "ui/main_window/taskbar_button.hpp"

namespace hotfix {

// X11 and Wayland have no way to leave a window off the taskbar other than making it a tool window,
// which changes its title bar; the window keeps its button there.
void keepOffTaskbar(QWidget& window) {
    (void)window;
}

} // namespace hotfix
