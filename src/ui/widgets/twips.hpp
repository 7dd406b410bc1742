#pragma once

#include <QRect>

namespace hotfix {

// The windows are laid out in twips; one logical pixel is 15 of them, and Qt scales logical pixels on
// high-density screens.
inline constexpr int kTwipsPerPixel = 15;

// A place as the form designer gives it, in twips.
struct TwipsPlace {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The place in logical pixels; every figure is cut down to a whole pixel.
QRect twipsRect(const TwipsPlace& place);
inline QRect twipsRect(int left, int top, int width, int height) {
    return twipsRect(TwipsPlace{left, top, width, height});
}

// Window placement computes in single-precision twips and puts the result on the nearest pixel.
float toTwips(int pixels);
int toPixels(float twips);

} // namespace hotfix
