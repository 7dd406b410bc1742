#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix {

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

} // namespace hotfix
