#include "platform/reg_module.hpp"

#include <algorithm>
#include <array>
#include <cstddef>

namespace hotfix::RegModule {

namespace {

// Read rights only (KEY_READ). The installer has always asked for write rights too, which a reader never
// needs and which fail for a user without write access to the key, who then got no value at all.
constexpr std::uint32_t kAccessMask = 0x20019;
constexpr std::size_t kBufferSize = 1024;
constexpr std::uint32_t kTextType = 1;
constexpr std::uint32_t kNumberType = 4;

std::string hexNumberText(std::span<const std::byte> bytes) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    std::string text = "&h";
    // Most significant byte first: the bytes come low byte first.
    for (std::size_t i = bytes.size(); i > 0; --i) {
        const auto byte = std::to_integer<unsigned>(bytes[i - 1]);
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0xF]);
    }
    return text;
}

} // namespace

bool ReadRegValue(RegistryApi& registry, std::uint32_t RootKey, std::string_view KeyPath,
                  std::string_view ValueName, std::string& ValueText) {
    RegistryApi::Key key{};
    if (registry.openKey(RootKey, KeyPath, kAccessMask, key) != RegistryApi::kSuccess) {
        return false;
    }
    std::array<std::byte, kBufferSize> buffer{};
    std::uint32_t size = kBufferSize;
    std::uint32_t type = 0;
    if (registry.queryValue(key, ValueName, type, buffer, size) != RegistryApi::kSuccess) {
        registry.closeKey(key);
        return false;
    }
    // A registry that claims more than the buffer holds is not believed past the buffer's end.
    std::size_t kept = std::min<std::size_t>(size, buffer.size());
    // Only the last byte is looked at: a number whose top byte is zero loses it, as it always has.
    if (kept > 0 && buffer[kept - 1] == std::byte{0}) {
        --kept;
    }
    const std::span<const std::byte> bytes(buffer.data(), kept);
    if (type == kTextType) {
        // A text ends at its first zero byte. What follows is junk to every later file call, which would
        // cut the path there anyway, so the root box never shows it.
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        ValueText = registry.decodeText(text.substr(0, text.find('\0')));
    } else if (type == kNumberType) {
        // Kept as the hexadecimal text itself: nothing reads a number value, and the text shows its bytes.
        ValueText = hexNumberText(bytes);
    }
    registry.closeKey(key);
    return true;
}

} // namespace hotfix::RegModule
