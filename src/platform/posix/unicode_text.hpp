#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hotfix {

// The key under which Windows treats two names as the same: UTF-8 text with the letters of ASCII,
// Latin-1, Greek and Cyrillic folded to lower case. Bytes that are not UTF-8 are kept as they are.
std::string foldCase(std::string_view utf8);

// Appends a code point as UTF-8; surrogates and values past U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// The code point of the well-formed UTF-8 sequence that starts at text[at], and its length in bytes;
// length 0 when none starts there.
std::size_t decodeUtf8At(std::string_view text, std::size_t at, char32_t& codePoint);

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);

} // namespace hotfix
