#include "platform/win32/win32_text.hpp"

#include <climits>
#include <windows.h>

namespace hotfix::win32 {

namespace {

// The conversion calls count in int; longer texts are refused rather than cut.
bool fitsInt(std::size_t size) {
    return size <= static_cast<std::size_t>(INT_MAX);
}

} // namespace

std::optional<std::wstring> widen(std::string_view utf8) {
    if (utf8.empty()) {
        return std::wstring();
    }
    if (!fitsInt(utf8.size())) {
        return std::nullopt;
    }
    const int inLength = static_cast<int>(utf8.size());
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), inLength, wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view wide) {
    return toCodePage(wide, CP_UTF8);
}

std::wstring fromCodePage(std::string_view bytes, unsigned codePage) {
    if (bytes.empty() || !fitsInt(bytes.size())) {
        return {};
    }
    const int inLength = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), inLength, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), inLength, wide.data(), length);
    return wide;
}

std::string toCodePage(std::wstring_view wide, unsigned codePage) {
    if (wide.empty() || !fitsInt(wide.size())) {
        return {};
    }
    const int inLength = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(codePage, 0, wide.data(), inLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), inLength, bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::optional<std::string> toCodePageExactly(std::wstring_view wide, unsigned codePage) {
    if (wide.empty()) {
        return std::string();
    }
    if (!fitsInt(wide.size())) {
        return std::nullopt;
    }
    // UTF-8 spells every character, and WideCharToMultiByte takes no default-character test for it; it is
    // the ANSI code page where Windows' "Unicode UTF-8 for worldwide language support" is on.
    const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ::GetACP() == CP_UTF8) ||
                      (codePage == CP_OEMCP && ::GetOEMCP() == CP_UTF8);
    if (utf8) {
        return toCodePage(wide, CP_UTF8);
    }
    const int inLength = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    const int length = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), inLength, nullptr,
                                             0, nullptr, &lossy);
    if (length <= 0 || lossy) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), inLength, bytes.data(), length,
                          nullptr, nullptr);
    return bytes;
}

} // namespace hotfix::win32
