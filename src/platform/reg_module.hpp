#pragma once

#include "platform/registry.hpp"

#include <cstdint>
#include <string>
#include <string_view>

namespace hotfix::RegModule {

// Reads one registry value as text. True when the key was opened and the value read; ValueText is left as
// the caller had it when nothing was read, and also for value types other than text and number.
bool ReadRegValue(RegistryApi& registry, std::uint32_t RootKey, std::string_view KeyPath,
                  std::string_view ValueName, std::string& ValueText);

} // namespace hotfix::RegModule
