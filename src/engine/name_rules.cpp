#include "engine/name_rules.hpp"

#include "engine/text.hpp"
#include "platform/ascii.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace hotfix {

namespace {

constexpr std::uint64_t kEach = 0x0101010101010101;
constexpr std::uint64_t kHigh = kEach * 0x80;

// Whether any of the word's eight bytes is below n (n at most 0x80): only such a byte has its top bit clear
// and set once n is taken from it.
constexpr bool anyByteBelow(std::uint64_t word, std::uint8_t n) {
    return ((word - kEach * n) & ~word & kHigh) != 0;
}

constexpr bool anyByteIs(std::uint64_t word, std::uint8_t value) {
    return anyByteBelow(word ^ (kEach * value), 1);
}

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

// Whether a part between separators, blank-trimmed, is one of the given.
template <typename IsStep>
bool anyPart(std::string_view path, IsStep isStep) {
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
        if (isStep(trimBlanks(path.substr(start, end - start)))) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Eight bytes at a time: a list's tens of thousands of entries are read before its window shows, and all
// pass.
bool holdsControlOrSlash(std::string_view text) {
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + at, sizeof word);
        if (anyByteBelow(word, 0x20) || anyByteIs(word, 0x7F) || anyByteIs(word, '/')) {
            return true;
        }
    }
    return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                       [](char c) { return isControl(c) || c == '/'; });
}

} // namespace

bool holdsControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), isControl);
}

bool leadsUpward(std::string_view path) {
    return path.find("..") != std::string_view::npos &&
           anyPart(path, [](std::string_view part) { return part == ".."; });
}

bool isEntryPart(std::string_view text) {
    return !holdsControlOrSlash(text) && !leadsUpward(text);
}

bool isAbsoluteRoot(std::string_view root) {
    const bool driveAbsolute =
        root.size() >= 3 && isAsciiLetter(root[0]) && root[1] == ':' && isSeparator(root[2]);
    if (!driveAbsolute && (root.empty() || !isSeparator(root[0]))) {
        return false;
    }
    return !holdsControlCharacter(root) &&
           !anyPart(root, [](std::string_view part) { return part == "." || part == ".."; });
}

} // namespace hotfix
