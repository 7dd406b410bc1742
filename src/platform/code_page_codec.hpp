#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace hotfix {

// The workstation's two 8-bit code pages: list files come in its ANSI code page, and cmd reads the batch
// scripts in its OEM one. Texts inside the installer are UTF-8.
class CodePageCodec {
public:
    virtual ~CodePageCodec() = default;

    // ANSI bytes as UTF-8. Every byte stays a character: one that begins none in the code page becomes the
    // code point of its own value, as Windows reads the five gaps of 1252.
    virtual std::string ansiToUtf8(std::string_view bytes) const = 0;
    // UTF-8 in OEM bytes, exactly: nothing when a character has no form of its own there (no best fit).
    virtual std::optional<std::string> utf8ToOem(std::string_view utf8) const = 0;
    // OEM bytes as UTF-8, as cmd reads them; nothing where they are no text in the code page.
    virtual std::optional<std::string> oemToUtf8(std::string_view bytes) const = 0;
};

} // namespace hotfix
