#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix::posix {

// The two 8-bit code pages of a Windows system: ANSI for files and the registry's text, OEM for the console
// and the batch files cmd reads.
struct CodePages {
    unsigned ansi = 1252;
    unsigned oem = 437;
    friend bool operator==(CodePages, CodePages) = default;
};

// The code pages Windows gives a locale named lang[-Script][-COUNTRY] ("de-DE", "sr-Latn-RS"); those of
// en-US (1252 and 437) for a name it does not know, as Wine does.
CodePages codePagesOfLocale(std::string_view localeName);

// UTF-8 to one of Windows' 8-bit code pages and back, through the C library's iconv. Exact only: nothing
// when a character has no form of its own in the code page (no best fit, no default character), or when
// the C library does not know the code page and the text is not plain ASCII.
std::optional<std::string> toCodePageExactly(std::string_view utf8, unsigned codePage);
std::optional<std::string> fromCodePage(std::string_view bytes, unsigned codePage);

// Whether the C library's iconv converts between UTF-8 and the code page, both ways.
bool knowsCodePage(unsigned codePage);

// Text of unknown origin in a code page, as UTF-8. A byte that begins no character there (a gap of a code
// page, a broken double-byte pair) becomes the code point of its own value, U+0080 to U+00FF, as Windows
// reads the five gaps of 1252: no byte is lost, and each stays its own character. Nothing when the C
// library does not know the code page.
std::optional<std::string> fromCodePageKeepingEveryByte(std::string_view bytes, unsigned codePage);

// UTF-8 in a code page, each character it lacks and each byte that is not UTF-8 as "?", as Windows' A
// entry points hand texts out. Nothing when the C library does not know the code page.
std::optional<std::string> toCodePageOrQuestionMarks(std::string_view utf8, unsigned codePage);

} // namespace hotfix::posix
