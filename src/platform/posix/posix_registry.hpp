#pragma once

#include "../registry.hpp"

#include <map>
#include <optional>
#include <string>

namespace hotfix {

// HKEY_LOCAL_MACHINE as a Wine prefix keeps it: the text file system.reg, read afresh on every call so that
// what Wine has written meanwhile is seen (Wine's server writes its changes out a few seconds after the last
// program ends). Key paths and value names match ignoring case. Texts come out in UTF-8, the ANSI code page
// of this backend. The file is only ever read: a key opened with any right that would change it is refused
// with "access denied", as Windows refuses a user without write access.
class PosixRegistry final : public RegistryApi {
public:
    static constexpr long kAccessDenied = 5;
    static constexpr long kInvalidHandle = 6;
    // The rights that read a key: KEY_READ, the view flags of the 64-bit registry and GENERIC_READ.
    static constexpr std::uint32_t kReadRights = 0x20019u | 0x100u | 0x200u | 0x80000000u;

    explicit PosixRegistry(std::string systemRegPath);

    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override;
    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override;
    void closeKey(Key key) override;
    std::string decodeText(std::string_view bytes) override;

private:
    // The key's path with symbolic links followed, folded; nothing when the key does not exist.
    std::optional<std::string> resolveKey(std::string path) const;

    std::string m_file;
    std::map<Key, std::string> m_openKeys;
    Key m_nextKey = 1;
};

} // namespace hotfix
