#include "platform/win32/win32_code_page_codec.hpp"

#include "platform/win32/win32_text.hpp"

#include <windows.h>

namespace hotfix::win32 {

std::string Win32CodePageCodec::ansiToUtf8(std::string_view bytes) const {
    return narrow(fromCodePage(bytes, CP_ACP));
}

std::optional<std::string> Win32CodePageCodec::utf8ToOem(std::string_view utf8) const {
    const auto wide = widen(utf8);
    return wide ? toCodePageExactly(*wide, CP_OEMCP) : std::nullopt;
}

std::optional<std::string> Win32CodePageCodec::oemToUtf8(std::string_view bytes) const {
    return narrow(fromCodePage(bytes, CP_OEMCP));
}

} // namespace hotfix::win32
