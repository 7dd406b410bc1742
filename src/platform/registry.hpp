#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace hotfix {

// The registry as the reader sees it: the meaning of RegOpenKeyEx, RegQueryValueEx and RegCloseKey.
// Results are Windows error codes; 0 is success.
class RegistryApi {
public:
    using Key = std::uintptr_t;

    static constexpr std::uint32_t kLocalMachine = 0x80000002u;
    static constexpr long kSuccess = 0;
    static constexpr long kFileNotFound = 2;
    static constexpr long kMoreData = 234;

    virtual ~RegistryApi() = default;

    virtual long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) = 0;
    // On the way in size is the buffer's capacity; on success it is the data's size in bytes and type the
    // value's type. Data longer than the buffer gives kMoreData.
    virtual long queryValue(Key key, std::string_view valueName, std::uint32_t& type,
                            std::span<std::byte> buffer, std::uint32_t& size) = 0;
    virtual void closeKey(Key key) = 0;

    // A text value's bytes, as returned, in UTF-8 (the ANSI code page on Windows).
    virtual std::string decodeText(std::string_view bytes) = 0;
};

} // namespace hotfix
