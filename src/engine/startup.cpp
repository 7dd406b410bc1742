#include "engine/startup.hpp"

#include "engine/text.hpp"
#include "platform/reg_module.hpp"
#include "platform/settings_store.hpp"

namespace hotfix {

namespace {

constexpr const char* kProductRootKey = "SOFTWARE\\Vantrel Software";
constexpr const char* kWindowsRootKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const char* kFallbackProductRoot = "C:\\Program Files\\Vantrel";

} // namespace

StartupRoots readStartupRoots(RegistryApi& registry, SettingsStore& settings,
                              std::string_view programFolder) {
    StartupRoots roots;
    RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine, kProductRootKey, "QXINSTALLDIR",
                            roots.product);

    // The Windows root is read into a text of its own: carrying the product root over when "PathName"
    // is missing would offer the product's folder as the Windows folder. A fresh Wine prefix has no
    // "PathName", only "SystemRoot".
    RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine, kWindowsRootKey, "PathName", roots.windows);
    if (isBlank(roots.windows)) {
        roots.windows.clear();
        RegModule::ReadRegValue(registry, RegistryApi::kLocalMachine, kWindowsRootKey, "SystemRoot",
                                roots.windows);
    }

    if (isBlank(roots.product)) {
        roots.product = settings.GetSetting(programFolder, kRootSetting.section, kRootSetting.key);
    }
    if (isBlank(roots.product)) {
        roots.product = kFallbackProductRoot;
    }
    return roots;
}

} // namespace hotfix
