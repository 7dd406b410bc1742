#include "platform/sha256.hpp"

#include <string_view>

namespace hotfix {

std::string hexOfDigest(std::span<const unsigned char, 32> digest) {
    constexpr std::string_view kDigits = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const unsigned char byte : digest) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

} // namespace hotfix
