#include "platform/package_text.hpp"

#include "platform/text_codec.hpp"

namespace hotfix {

std::string decodeListFile(std::string bytes, const CodePageCodec& codePages) {
    const std::string_view text = withoutByteOrderMark(bytes);
    if (!isValidUtf8(text)) {
        return codePages.ansiToUtf8(text);
    }
    // The bytes themselves, not a copy: a list file may be a megabyte, read before the window shows.
    bytes.erase(0, bytes.size() - text.size());
    return bytes;
}

std::optional<std::string> encodeScriptLines(std::span<const std::string> lines,
                                             const CodePageCodec& codePages) {
    std::string text;
    for (const std::string& line : lines) {
        const std::optional<std::string> bytes = codePages.utf8ToOem(line);
        if (!bytes) {
            return std::nullopt;
        }
        text += *bytes;
        text += "\r\n";
    }
    return text;
}

std::optional<std::string> scriptText(std::string_view text, const CodePageCodec& codePages) {
    const std::optional<std::string> bytes = codePages.utf8ToOem(text);
    std::optional<std::string> readBack = bytes ? codePages.oemToUtf8(*bytes) : std::nullopt;
    // A conversion that does not come back as it went would have cmd act on another name.
    if (readBack != text) {
        return std::nullopt;
    }
    return readBack;
}

} // namespace hotfix
