#pragma once

#include <string>
#include <string_view>

namespace hotfix {

class WinePrefix;

// The ANSI code page of the Windows that a Wine prefix stands for: the bytes in which its A entry points
// hand out texts, and so the bytes in which the registry reader's limit is counted.
class AnsiCodePage {
public:
    // The prefix's code page. Every prefix counts as western (Windows-1252) for now; this is the one
    // place that decides it.
    static AnsiCodePage of(const WinePrefix& prefix);

    // The code page's number, as Windows numbers code pages.
    unsigned number() const { return m_number; }
    // UTF-8 text in the code page's bytes; a character the code page lacks becomes "?".
    std::string fromUtf8(std::string_view text) const;
    std::string toUtf8(std::string_view bytes) const;

private:
    explicit AnsiCodePage(unsigned number)
        : m_number(number) {}

    unsigned m_number;
};

} // namespace hotfix
