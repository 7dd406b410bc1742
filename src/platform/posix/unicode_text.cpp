#include "platform/posix/unicode_text.hpp"

#include "platform/ascii.hpp"
#include "platform/text_codec.hpp"

#include <cstddef>

namespace hotfix::posix {

namespace {

char32_t foldCodePoint(char32_t c) {
    const bool latin1Upper = c >= 0xC0 && c <= 0xDE && c != 0xD7;
    const bool greekUpper = c >= 0x391 && c <= 0x3A9 && c != 0x3A2;
    const bool cyrillicUpper = c >= 0x410 && c <= 0x42F;
    if (latin1Upper || greekUpper || cyrillicUpper) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    return c;
}

} // namespace

std::string utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::string utf16BytesToUtf8(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return utf16ToUtf8(units);
}

void appendUtf16(std::u16string& units, char32_t codePoint) {
    if (codePoint > 0xFFFF) {
        codePoint -= 0x10000;
        units.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        units.push_back(static_cast<char16_t>(codePoint));
    }
}

std::string foldCase(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char c = utf8[i];
        if (static_cast<unsigned char>(c) < 0x80) {
            out.push_back(asciiLower(c));
            ++i;
            continue;
        }
        char32_t codePoint = 0;
        const std::size_t length = decodeUtf8At(utf8, i, codePoint);
        if (length == 0) {
            out.push_back(c);
            ++i;
            continue;
        }
        appendUtf8(out, foldCodePoint(codePoint));
        i += length;
    }
    return out;
}

} // namespace hotfix::posix
