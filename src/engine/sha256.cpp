#include "engine/sha256.hpp"

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

std::optional<std::string> fileSha256(FileSystem& fs, std::string_view path) {
    Sha256 hash;
    if (!fs.readFile(path, [&hash](std::span<const char> piece) { hash.update(piece); })) {
        return std::nullopt;
    }
    return hash.hexDigest();
}

} // namespace hotfix
