#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix::win32 {

// UTF-8 to UTF-16; nothing when the bytes are not UTF-8.
std::optional<std::wstring> widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string narrow(std::wstring_view wide);

// Text in one of Windows' 8-bit code pages (CP_ACP, CP_OEMCP, ...) to UTF-16 and back. Characters the code
// page lacks become its default character.
std::wstring fromCodePage(std::string_view bytes, unsigned codePage);
std::string toCodePage(std::wstring_view wide, unsigned codePage);

// Like toCodePage, but nothing when a character has no exact form in the code page.
std::optional<std::string> toCodePageExactly(std::wstring_view wide, unsigned codePage);

} // namespace hotfix::win32
