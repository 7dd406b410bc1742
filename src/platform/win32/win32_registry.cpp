#include "platform/win32/win32_registry.hpp"

#include "platform/win32/win32_text.hpp"

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

Win32Registry::~Win32Registry() {
    while (!m_openKeys.empty()) {
        closeKey(m_openKeys.begin()->first);
    }
}

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
    const auto open = [&](REGSAM view, Key& handle) {
        HKEY opened = nullptr;
        const LONG result = ::RegOpenKeyExW(rootHandle(rootKey), path->c_str(), 0, rights | view, &opened);
        if (result == ERROR_SUCCESS) {
            handle = reinterpret_cast<Key>(opened);
        }
        return result;
    };
    Views views;
    const LONG result32 = open(KEY_WOW64_32KEY, views.view32);
    const LONG result64 = open(KEY_WOW64_64KEY, views.view64);
    if (result32 != ERROR_SUCCESS && result64 != ERROR_SUCCESS) {
        // The 32-bit view's answer, unless the key is merely missing there.
        return result32 == ERROR_FILE_NOT_FOUND ? result64 : result32;
    }
    key = m_nextKey++;
    m_openKeys.emplace(key, views);
    return ERROR_SUCCESS;
}

long Win32Registry::queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                               std::span<std::byte> buffer, std::uint32_t& size) {
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end()) {
        return ERROR_INVALID_HANDLE;
    }
    const auto wideName = widen(valueName);
    // A name the ANSI code page cannot spell names no value that the ANSI call could reach.
    const auto name = wideName ? toCodePageExactly(*wideName, CP_ACP) : std::nullopt;
    if (!name) {
        return ERROR_FILE_NOT_FOUND;
    }
    LONG result = ERROR_FILE_NOT_FOUND;
    for (const Key view : {open->second.view32, open->second.view64}) {
        if (view == 0) {
            continue;
        }
        DWORD valueType = 0;
        DWORD valueSize =
            std::min<DWORD>(size, static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD)));
        result = ::RegQueryValueExA(keyHandle(view), name->c_str(), nullptr, &valueType,
                                    reinterpret_cast<BYTE*>(buffer.data()), &valueSize);
        if (result == ERROR_SUCCESS) {
            type = static_cast<std::uint32_t>(valueType);
            size = static_cast<std::uint32_t>(valueSize);
        }
        // Only a value missing from the 32-bit view is looked for in the 64-bit one.
        if (result != ERROR_FILE_NOT_FOUND) {
            break;
        }
    }
    return result;
}

void Win32Registry::closeKey(Key key) {
    const auto open = m_openKeys.find(key);
    if (open == m_openKeys.end()) {
        return;
    }
    for (const Key view : {open->second.view32, open->second.view64}) {
        if (view != 0) {
            ::RegCloseKey(keyHandle(view));
        }
    }
    m_openKeys.erase(open);
}

Win32Registry::Views Win32Registry::views(Key key) const {
    const auto open = m_openKeys.find(key);
    return open == m_openKeys.end() ? Views{} : open->second;
}

std::string Win32Registry::decodeText(std::string_view bytes) {
    return narrow(fromCodePage(bytes, CP_ACP));
}

} // namespace hotfix::win32
