#include "platform/posix/ansi_code_page.hpp"

#include "platform/posix/code_page.hpp"
#include "platform/posix/wine_prefix.hpp"
#include "platform/text_codec.hpp"

namespace hotfix::posix {

namespace {

constexpr unsigned kWindows1252 = 1252;

} // namespace

AnsiCodePage AnsiCodePage::of(const WinePrefix& prefix) {
    return numbered(prefix.codePages().ansi);
}

AnsiCodePage AnsiCodePage::numbered(unsigned number) {
    // Windows-1252 needs no iconv. It also stands in where the C library lacks the code page (a system
    // without iconv's modules, say): Wine's default, and no byte of a list file is lost in it.
    return AnsiCodePage(number == kWindows1252 || knowsCodePage(number) ? number : kWindows1252);
}

// The iconv helpers give nothing only when iconv cannot open a code page numbered() found; 1252 then.
std::string AnsiCodePage::fromUtf8(std::string_view text) const {
    if (m_number != kWindows1252) {
        if (auto bytes = toCodePageOrQuestionMarks(text, m_number)) {
            return std::move(*bytes);
        }
    }
    return utf8ToWindows1252(text);
}

std::string AnsiCodePage::toUtf8(std::string_view bytes) const {
    if (m_number != kWindows1252) {
        if (auto text = fromCodePageKeepingEveryByte(bytes, m_number)) {
            return std::move(*text);
        }
    }
    return windows1252ToUtf8(bytes);
}

} // namespace hotfix::posix
