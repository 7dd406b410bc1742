#pragma once

#include "platform/code_page_codec.hpp"

namespace hotfix::win32 {

// The system's ANSI and OEM code pages, converted by Windows itself.
class Win32CodePageCodec final : public CodePageCodec {
public:
    std::string ansiToUtf8(std::string_view bytes) const override;
    std::optional<std::string> utf8ToOem(std::string_view utf8) const override;
    std::optional<std::string> oemToUtf8(std::string_view bytes) const override;
};

} // namespace hotfix::win32
