#include "ansi_code_page.hpp"

#include "../text_codec.hpp"
#include "wine_prefix.hpp"

namespace hotfix {

namespace {

constexpr unsigned kWindows1252 = 1252;

} // namespace

AnsiCodePage AnsiCodePage::of(const WinePrefix& prefix) {
    (void)prefix;
    return AnsiCodePage(kWindows1252);
}

// Windows-1252 is the only code page of() hands out yet.
std::string AnsiCodePage::fromUtf8(std::string_view text) const {
    return utf8ToWindows1252(text);
}

std::string AnsiCodePage::toUtf8(std::string_view bytes) const {
    return windows1252ToUtf8(bytes);
}

} // namespace hotfix
