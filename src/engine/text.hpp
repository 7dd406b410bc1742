#pragma once

#include <string>
#include <string_view>

namespace hotfix {

// Blanks are the space character only; that is what the installer has always trimmed.
inline std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

inline bool isBlank(std::string_view text) {
    return trimBlanks(text).empty();
}

// List entries also lose tabs and line breaks at their ends: no Windows file name can hold them.
inline std::string_view trimEntry(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n";
    const auto first = text.find_first_not_of(kSpace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kSpace) - first + 1);
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
