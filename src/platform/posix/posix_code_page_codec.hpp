#pragma once

#include "platform/code_page_codec.hpp"
#include "platform/posix/ansi_code_page.hpp"
#include "platform/posix/code_page.hpp"

namespace hotfix::posix {

// The code pages Wine takes from the locale, converted by the C library's iconv.
class PosixCodePageCodec final : public CodePageCodec {
public:
    explicit PosixCodePageCodec(CodePages codePages)
        : m_ansi(AnsiCodePage::numbered(codePages.ansi))
        , m_oem(codePages.oem) {}

    std::string ansiToUtf8(std::string_view bytes) const override { return m_ansi.toUtf8(bytes); }
    std::optional<std::string> utf8ToOem(std::string_view utf8) const override {
        return toCodePageExactly(utf8, m_oem);
    }
    std::optional<std::string> oemToUtf8(std::string_view bytes) const override {
        return fromCodePage(bytes, m_oem);
    }

private:
    AnsiCodePage m_ansi;
    unsigned m_oem;
};

} // namespace hotfix::posix
