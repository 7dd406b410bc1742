#pragma once

#include "platform/file_system.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hotfix {

// SHA-256 over bytes fed in pieces of any size.
class Sha256 {
public:
    void update(std::span<const char> bytes);
    // The digest as 64 lower-case hexadecimal digits; the object is spent afterwards.
    std::string hexDigest();

private:
    void compress(const unsigned char* block);

    std::array<std::uint32_t, 8> m_state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    // The start of a block that the input so far has not filled.
    std::array<unsigned char, 64> m_pending{};
    std::size_t m_pendingSize = 0;
    std::uint64_t m_length = 0;
};

// The SHA-256 of a whole file's bytes in lower-case hex; nothing when the file cannot be read to its end.
std::optional<std::string> fileSha256(FileSystem& fs, std::string_view path);

} // namespace hotfix
