#include "engine/backup_name.hpp"
#include "engine/date_suffix.hpp"
#include "platform/platform_services.hpp"
#include "support/forwarding_file_system.hpp"

#include <set>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

// Names taken, as the file system would answer for them: the search looks at nothing else.
class TakenNames final : public test::ForwardingFileSystem {
public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::optional<FileAttributes> attributes(std::string_view path) override {
        return taken.contains(std::string(path)) ? std::optional<FileAttributes>(FileAttributes{})
                                                 : std::nullopt;
    }
    std::set<std::string> taken;
};

// The install decides backup names and the record's reader judges them by the same rules: every name the
// install can give is accepted, and every other form is refused.
TEST(BackupName, theRecordAcceptsExactlyTheNamesTheInstallGives) {
    const auto real = makeFileSystem();
    const std::string destination = "C:\\Vantrel\\core.dll";
    for (const std::string& suffix :
         {std::string("_backup"), dateSuffix({2005, 5, 1, 9, 7}), dateSuffix({2026, 12, 31, 23, 59})}) {
        // Each name in turn, taken as the install takes it, until none is free.
        TakenNames fs{*real};
        std::set<std::string>& given = fs.taken;
        while (const auto name = freeBackupName(fs, destination + suffix)) {
            ASSERT_TRUE(given.insert(*name).second) << *name;
        }
        EXPECT_EQ(given.size(), static_cast<std::size_t>(kMaxBackupNumber)) << suffix;
        for (const std::string& name : given) {
            EXPECT_TRUE(isBackupOf(name, destination, "_backup")) << name;
        }
    }
    for (const std::string rest :
         {"", "_backup_1", "_backup_01", "_backup_0", "_backup_1000", "_backup_2_2", "_old", "-2005.05.1.9.7",
          "-2005.5.1.9", "-2005.5.1.9.7.1", "-205.5.1.9.7"}) {
        EXPECT_FALSE(isBackupOf(destination + std::string(rest), destination, "_backup")) << rest;
    }
    EXPECT_FALSE(isBackupOf("C:\\Vantrel\\core.dl_backup", destination, "_backup"));

    EXPECT_TRUE(isBackupSuffix("_backup"));
    for (const std::string_view suffix : {"", ". .", "_a:b", "_a\x01", "_a/b", "_a|b"}) {
        EXPECT_FALSE(isBackupSuffix(suffix)) << suffix;
    }
}

} // namespace
} // namespace hotfix
