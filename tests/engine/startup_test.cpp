#include "engine/startup.hpp"
#include "platform/reg_module.hpp"
#include "support/fake_registry.hpp"
#include "support/memory_settings.hpp"

#include <gtest/gtest.h>

namespace hotfix {
namespace {

constexpr std::string_view kPackage = "C:\\Hot Fix 7";
const std::string kProductKey = "SOFTWARE\\Vantrel Software";
const std::string kWindowsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Which root start-up offers, from which source, in which order: a wrong order offers a technician the
// product's folder as the Windows folder, or forgets the folder he picked last time.
TEST(StartupRoots, registryThenTheFolderPickedLastThenTheFixedFolder) {
    test::FakeRegistry registry;
    test::MemorySettings settings;
    // Nothing anywhere: the fixed product folder, and no Windows root rather than a made-up one.
    StartupRoots roots = readStartupRoots(registry, settings, kPackage);
    EXPECT_EQ(roots.product, "C:\\Program Files\\Vantrel");
    EXPECT_EQ(roots.windows, "");

    // The folder picked for this package folder, and only for it.
    settings.SaveSetting(kPackage, kRootSetting.section, kRootSetting.key, "D:\\Picked");
    settings.SaveSetting("C:\\Other Fix", kRootSetting.section, kRootSetting.key, "E:\\Other");
    EXPECT_EQ(readStartupRoots(registry, settings, kPackage).product, "D:\\Picked");

    // The registry before both; a fresh Wine prefix has only SystemRoot, and PathName wins where both are.
    registry.set(kProductKey, "QXINSTALLDIR", "C:\\Vantrel Suite");
    registry.set(kWindowsKey, "SystemRoot", "C:\\windows");
    roots = readStartupRoots(registry, settings, kPackage);
    EXPECT_EQ(roots.product, "C:\\Vantrel Suite");
    EXPECT_EQ(roots.windows, "C:\\windows");
    registry.set(kWindowsKey, "PathName", "C:\\WINNT");
    EXPECT_EQ(readStartupRoots(registry, settings, kPackage).windows, "C:\\WINNT");
}

TEST(StartupRoots, aBlankRegistryValueCountsAsMissing) {
    test::FakeRegistry registry;
    test::MemorySettings settings;
    registry.set(kProductKey, "QXINSTALLDIR", "   ");
    registry.set(kWindowsKey, "PathName", " ");
    registry.set(kWindowsKey, "SystemRoot", "C:\\windows");
    const StartupRoots roots = readStartupRoots(registry, settings, kPackage);
    EXPECT_EQ(roots.product, "C:\\Program Files\\Vantrel");
    EXPECT_EQ(roots.windows, "C:\\windows");
}

} // namespace
} // namespace hotfix
