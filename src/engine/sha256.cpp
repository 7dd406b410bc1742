#include "engine/sha256.hpp"

namespace hotfix {

std::optional<std::string> fileSha256(FileSystem& fs, std::string_view path) {
    Sha256 hash;
    if (!fs.readFile(path, [&hash](std::span<const char> piece) { hash.update(piece); })) {
        return std::nullopt;
    }
    return hash.hexDigest();
}

} // namespace hotfix
