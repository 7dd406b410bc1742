#pragma once

#include <string>
#include <string_view>

namespace hotfix {

class RegistryApi;
class SettingsStore;

// The roots start-up offers, before the user or a command line changes them.
struct StartupRoots {
    std::string product;
    std::string windows;
};

// The product-family root from the registry, else the root last chosen in the folder picker for this program
// folder, else the fixed folder; the Windows root from the registry alone. Texts are kept as read, blanks
// included.
StartupRoots readStartupRoots(RegistryApi& registry, SettingsStore& settings, std::string_view programFolder);

} // namespace hotfix
