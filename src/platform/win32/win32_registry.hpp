#pragma once

#include "../registry.hpp"

namespace hotfix::win32 {

// The registry through advapi32. Keys are opened for reading only, and in the 32-bit view first, where
// the product family and the earlier 32-bit installer kept them on 64-bit Windows; a key missing there is
// looked for in the 64-bit view. Values are read through the ANSI entry point, so that sizes are counted
// in ANSI bytes as the reader's buffer expects.
class Win32Registry final : public RegistryApi {
public:
    long openKey(std::uint32_t rootKey, std::string_view keyPath, std::uint32_t access, Key& key) override;
    long queryValue(Key key, std::string_view valueName, std::uint32_t& type, std::span<std::byte> buffer,
                    std::uint32_t& size) override;
    void closeKey(Key key) override;
    std::string decodeText(std::string_view bytes) override;
};

} // namespace hotfix::win32
