#pragma once

#include "platform/text_codec.hpp"

#include <cstddef>
#include <string>
#include <string_view>

namespace hotfix::posix {

// The key under which Windows treats two names as the same: UTF-8 text with the letters of ASCII,
// Latin-1, Greek and Cyrillic folded to lower case. Bytes that are not UTF-8 are kept as they are.
std::string foldCase(std::string_view utf8);

// UTF-16 code units to UTF-8; a surrogate without its partner becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);
// The same for UTF-16 held as bytes, low byte first, as the registry stores texts; an odd last byte is
// dropped.
std::string utf16BytesToUtf8(std::string_view bytes);
// Appends a code point as one UTF-16 unit or a surrogate pair.
void appendUtf16(std::u16string& units, char32_t codePoint);

} // namespace hotfix::posix
