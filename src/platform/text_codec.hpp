#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace hotfix {

bool isValidUtf8(std::string_view bytes);

// The code point of the well-formed UTF-8 sequence that starts at text[at], and its length in bytes;
// length 0 when none starts there.
std::size_t decodeUtf8At(std::string_view text, std::size_t at, char32_t& codePoint);

// Appends a code point as UTF-8; surrogates and values past U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t codePoint);

// Windows-1252 bytes to UTF-8. The five bytes the code page leaves undefined map to the C1 controls of the
// same value, as Windows itself maps them, so that no byte is lost.
std::string windows1252ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1252 bytes. A character the code page lacks, and a byte that is not UTF-8, becomes "?",
// as Windows' conversion writes its default character.
std::string utf8ToWindows1252(std::string_view utf8);

// The bytes without a leading UTF-8 byte-order mark, which Notepad writes at the start of UTF-8 files.
std::string_view withoutByteOrderMark(std::string_view bytes);

} // namespace hotfix
