#pragma once

#include <string>
#include <string_view>

namespace hotfix {

// Removes the characters for which isSpace holds from both ends.
template <typename IsSpace>
std::string_view trimBy(std::string_view text, IsSpace isSpace) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isSpace(text[first])) {
        ++first;
    }
    while (last > first && isSpace(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

// Blanks are the space character only; that is what the installer has always trimmed.
inline std::string_view trimBlanks(std::string_view text) {
    return trimBy(text, [](char c) { return c == ' '; });
}

inline bool isBlank(std::string_view text) {
    return trimBlanks(text).empty();
}

// List entries also lose tabs and line breaks at their ends: no Windows file name can hold them.
inline std::string_view trimEntry(std::string_view text) {
    return trimBy(text, [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

inline std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (const auto part : parts) {
        size += part.size();
    }
    std::string out;
    out.reserve(size);
    for (const auto part : parts) {
        out += part;
    }
    return out;
}

} // namespace hotfix
