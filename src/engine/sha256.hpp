#pragma once

#include "platform/file_system.hpp"
#include "platform/sha256.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace hotfix {

// The SHA-256 of a whole file's bytes in lower-case hex; nothing when the file cannot be read to its end.
std::optional<std::string> fileSha256(FileSystem& fs, std::string_view path);

} // namespace hotfix
