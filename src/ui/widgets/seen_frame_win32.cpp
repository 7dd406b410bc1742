#include "ui/widgets/seen_frame.hpp"

#include <cmath>
#include <windows.h>

#include <QWidget>
// After windows.h, whose types it uses.
#include <dwmapi.h>

namespace hotfix {

QRect seenFrame(const QWidget& window) {
    if (!window.isVisible()) {
        return window.frameGeometry();
    }
    auto* const handle = reinterpret_cast<HWND>(window.winId());
    // DWM reports the frame it draws; without DWM (Wine, or composition off) the whole rectangle is drawn.
    RECT bounds{};
    if (FAILED(::DwmGetWindowAttribute(handle, DWMWA_EXTENDED_FRAME_BOUNDS, &bounds, sizeof bounds)) &&
        ::GetWindowRect(handle, &bounds) == FALSE) {
        return window.frameGeometry();
    }
    // Native pixels, measured from the client area's corner, which the toolkit knows in its own pixels.
    POINT client{0, 0};
    if (::ClientToScreen(handle, &client) == FALSE) {
        return window.frameGeometry();
    }
    const qreal ratio = window.devicePixelRatioF();
    const auto scaled = [ratio](LONG native) {
        return static_cast<int>(std::lround(native / ratio));
    };
    const QPoint topLeft =
        window.geometry().topLeft() + QPoint(scaled(bounds.left - client.x), scaled(bounds.top - client.y));
    return {topLeft, QSize(scaled(bounds.right - bounds.left), scaled(bounds.bottom - bounds.top))};
}

} // namespace hotfix
