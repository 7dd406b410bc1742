#include "ui/widgets/twips.hpp"

#include <cmath>

namespace hotfix {

QRect twipsRect(const TwipsPlace& place) {
    return {place.left / kTwipsPerPixel, place.top / kTwipsPerPixel, place.width / kTwipsPerPixel,
            place.height / kTwipsPerPixel};
}

float toTwips(int pixels) {
    return static_cast<float>(pixels) * static_cast<float>(kTwipsPerPixel);
}

int toPixels(float twips) {
    return static_cast<int>(std::lround(twips / static_cast<float>(kTwipsPerPixel)));
}

} // namespace hotfix
