#pragma once

#include "platform/code_page_codec.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hotfix {

// The one decoder of a list file's bytes: valid UTF-8 (Notepad's, with or without its byte-order mark) is
// kept as it is, anything else is read in the workstation's ANSI code page.
std::string decodeListFile(std::string bytes, const CodePageCodec& codePages);

// Lines for a batch script, each followed by CR LF, in the OEM code page cmd reads them in; nothing when a
// line cannot be written there exactly.
std::optional<std::string> encodeScriptLines(std::span<const std::string> lines,
                                             const CodePageCodec& codePages);

// The text as cmd will read it back from a script: the same text, or nothing when it has no exact form in
// the OEM code page.
std::optional<std::string> scriptText(std::string_view text, const CodePageCodec& codePages);

} // namespace hotfix
