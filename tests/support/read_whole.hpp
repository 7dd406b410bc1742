#pragma once

#include "platform/file_system.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace hotfix::test {

// A file's bytes as FileSystem::readFile hands them over; nothing when it says the read failed.
inline std::optional<std::string> readWhole(FileSystem& files, std::string_view path) {
    std::string bytes;
    if (!files.readFile(
            path, [&bytes](std::span<const char> piece) { bytes.append(piece.data(), piece.size()); })) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace hotfix::test
