#pragma once

#include <Qt>

namespace hotfix {

// The frame of every window of the program: a caption and a close box only (no minimize or maximize
// button), and a size the user cannot change. kind is Qt::Dialog, or Qt::Window for a window without
// an owner.
constexpr Qt::WindowFlags fixedWindowFlags(Qt::WindowType kind) {
    return kind | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;
}

} // namespace hotfix
