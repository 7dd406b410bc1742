#pragma once

#include <string>
#include <string_view>

namespace hotfix::posix {

class WinePrefix;

// The ANSI code page of the Windows that a Wine prefix stands for: the bytes in which its A entry points
// hand out texts, and so the bytes in which the registry reader's limit is counted, and those of a list
// file that is not UTF-8.
class AnsiCodePage {
public:
    // The prefix's code page, as Wine derives it from the locale (WinePrefix::codePages).
    static AnsiCodePage of(const WinePrefix& prefix);
    // The code page of that number; Windows-1252 where the C library cannot convert it.
    static AnsiCodePage numbered(unsigned number);

    // The code page's number, as Windows numbers code pages.
    unsigned number() const { return m_number; }
    // UTF-8 text in the code page's bytes; a character the code page lacks becomes "?".
    std::string fromUtf8(std::string_view text) const;
    // The code page's bytes as UTF-8; a byte that begins no character there is kept as U+0080 to U+00FF.
    std::string toUtf8(std::string_view bytes) const;

private:
    explicit AnsiCodePage(unsigned number)
        : m_number(number) {}

    unsigned m_number;
};

} // namespace hotfix::posix
