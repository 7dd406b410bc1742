#pragma once

#include "platform/registry.hpp"

#include <map>

namespace hotfix::win32 {

// The registry through advapi32. A key is opened for reading only, in both views: a value is taken from
// the 32-bit view, where the product family and the earlier 32-bit installer kept it on 64-bit Windows,
// and from the 64-bit view where the 32-bit view lacks it. The fallback is per value because a key can
// exist in the 32-bit view without the values that only its 64-bit twin holds (Windows NT\CurrentVersion
// in a Wine prefix). Values are read through the ANSI entry point, so that sizes are counted in ANSI
// bytes as the reader's buffer expects.
class Win32Registry final : public RegistryApi {
public:
    Win32Registry() = default;
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;
    ~Win32Registry() override;

    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override;
    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override;
    void closeKey(Key key) override;
    std::string decodeText(std::string_view bytes) override;

    // Handles of an open key in the 32-bit and the 64-bit view, as integers; 0 where the view lacks the
    // key. Tests check what these handles allow.
    struct Views {
        Key view32 = 0;
        Key view64 = 0;
    };
    Views views(Key key) const;

private:
    std::map<Key, Views> m_openKeys;
    Key m_nextKey = 1;
};

} // namespace hotfix::win32
