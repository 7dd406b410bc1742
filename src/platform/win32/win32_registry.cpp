#include "win32_registry.hpp"

#include "win32_text.hpp"

#include <algorithm>
#include <windows.h>

namespace hotfix::win32 {

namespace {

// Predefined keys are 32-bit values that Windows sign-extends into a handle. Handles cross the registry
// interface as integers, hence the casts.
HKEY rootHandle(std::uint32_t rootKey) {
    const auto value = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(rootKey)));
    return reinterpret_cast<HKEY>(value); // NOLINT(performance-no-int-to-ptr)
}

HKEY keyHandle(RegistryApi::Key key) {
    return reinterpret_cast<HKEY>(key); // NOLINT(performance-no-int-to-ptr)
}

} // namespace

long Win32Registry::openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) {
    const auto path = widen(keyPath);
    if (!path) {
        return ERROR_FILE_NOT_FOUND;
    }
    // Whatever the caller asks for, only read rights: the installer never writes to the registry, and
    // asking for write rights shuts out a user who may only read the key.
    REGSAM rights = static_cast<REGSAM>(access) & KEY_READ;
    if (rights == 0) {
        rights = KEY_READ;
    }
    HKEY opened = nullptr;
    LONG result = ::RegOpenKeyExW(rootHandle(rootKey), path->c_str(), 0, rights | KEY_WOW64_32KEY, &opened);
    if (result == ERROR_FILE_NOT_FOUND) {
        result = ::RegOpenKeyExW(rootHandle(rootKey), path->c_str(), 0, rights | KEY_WOW64_64KEY, &opened);
    }
    if (result == ERROR_SUCCESS) {
        key = reinterpret_cast<Key>(opened);
    }
    return result;
}

long Win32Registry::queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                               std::span<std::byte> buffer, std::uint32_t& size) {
    const auto wideName = widen(valueName);
    // A name the ANSI code page cannot spell names no value that the ANSI call could reach.
    const auto name = wideName ? toCodePageExactly(*wideName, CP_ACP) : std::nullopt;
    if (!name) {
        return ERROR_FILE_NOT_FOUND;
    }
    DWORD valueType = 0;
    DWORD valueSize =
        std::min<DWORD>(size, static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD)));
    const LONG result = ::RegQueryValueExA(keyHandle(key), name->c_str(), nullptr, &valueType,
                                           reinterpret_cast<BYTE*>(buffer.data()), &valueSize);
    if (result == ERROR_SUCCESS) {
        type = static_cast<std::uint32_t>(valueType);
        size = static_cast<std::uint32_t>(valueSize);
    }
    return result;
}

void Win32Registry::closeKey(Key key) {
    ::RegCloseKey(keyHandle(key));
}

std::string Win32Registry::decodeText(std::string_view bytes) {
    return narrow(fromCodePage(bytes, CP_ACP));
}

} // namespace hotfix::win32
