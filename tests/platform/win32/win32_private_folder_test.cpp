#include "platform/platform_services.hpp"
#include "platform/win32/win32_file_system.hpp"
#include "platform/win32/win32_private_folder.hpp"
#include "support/temp_dir.hpp"

#include <aclapi.h>
#include <cwchar>
#include <sddl.h>
#include <string>
#include <thread>
#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

using Privacy = FileSystem::Privacy;

// The folder's access list and owner as SDDL text.
std::wstring securityOf(const std::filesystem::path& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
        return L"<unreadable>";
    }
    LPWSTR text = nullptr;
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(
        descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr);
    std::wstring result = text != nullptr ? text : L"<none>";
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return result;
}

// Gives the folder the owner and access list that the SDDL text names.
bool setSecurity(const std::filesystem::path& path, const wchar_t* sddl, SECURITY_INFORMATION what) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    ::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    const DWORD result = ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, what,
                                                 owner, nullptr, dacl, nullptr);
    ::LocalFree(descriptor);
    return result == ERROR_SUCCESS;
}

class PrivateFolderTest : public ::testing::Test {
protected:
    std::string at(std::string_view name) const { return dir.str() + "\\" + std::string(name); }

    // Whether the file system keeps an owner and access list as given: Wine keeps only what its Unix
    // permission bits can say (the user's and everybody's rights), and the user as the owner of everything.
    bool keepsSecurity() const {
        const std::filesystem::path probe = dir.path() / "probe";
        ::CreateDirectoryW(probe.c_str(), nullptr);
        setSecurity(probe, L"O:BGD:P(A;;FA;;;BG)", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
        const bool kept = securityOf(probe).find(L"O:BG") != std::wstring::npos;
        ::RemoveDirectoryW(probe.c_str());
        return kept;
    }

    test::TempDir dir;
    std::unique_ptr<FileSystem> files = makeFileSystem();
};

TEST_F(PrivateFolderTest, aNewFolderGetsAProtectedListOfItsOwn) {
    ASSERT_EQ(files->makePrivateFolder(at("HotFix Installer")), Privacy::Private);
    EXPECT_EQ(files->privacy(at("HotFix Installer")), Privacy::Private);
    if (!keepsSecurity()) {
        GTEST_SKIP() << "this file system keeps no access lists as given";
    }
    const std::wstring security = securityOf(dir.path() / "HotFix Installer");
    // Protected (nothing inherited), the system and the administrators in full, the users reading.
    EXPECT_NE(security.find(L"D:P"), std::wstring::npos) << std::string(security.begin(), security.end());
    EXPECT_NE(security.find(L";;;SY)"), std::wstring::npos);
    EXPECT_NE(security.find(L";;;BA)"), std::wstring::npos);
    EXPECT_EQ(files->privacy(at("HotFix Installer")), Privacy::Private);
    // A record made inside inherits the protection.
    ASSERT_TRUE(files->appendDurably(at("HotFix Installer\\record.txt"), "line\n"));
    EXPECT_EQ(files->privacy(at("HotFix Installer\\record.txt")), Privacy::Private);
}

TEST_F(PrivateFolderTest, aFolderThatEveryoneMayWriteIsFoundAndTakenBackWhenItsOwnerIsTrusted) {
    ASSERT_TRUE(::CreateDirectoryW((dir.path() / "open").c_str(), nullptr));
    ASSERT_TRUE(setSecurity(dir.path() / "open", L"D:P(A;OICI;FA;;;WD)", DACL_SECURITY_INFORMATION));
    EXPECT_EQ(files->privacy(at("open")), Privacy::OthersMayWrite);

    EXPECT_EQ(files->makePrivateFolder(at("open")), Privacy::Private);
    EXPECT_EQ(files->privacy(at("open")), Privacy::Private);
}

TEST_F(PrivateFolderTest, aFolderOfAnotherOwnerIsRefusedAndLeftAsItIs) {
    if (!keepsSecurity()) {
        GTEST_SKIP() << "this file system gives every file the user as its owner";
    }
    ASSERT_TRUE(::CreateDirectoryW((dir.path() / "planted").c_str(), nullptr));
    // The guests' account stands for a user who made the folder before the first install.
    ASSERT_TRUE(setSecurity(dir.path() / "planted", L"O:BGD:P(A;OICI;FA;;;BG)",
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
    const std::wstring before = securityOf(dir.path() / "planted");
    EXPECT_EQ(files->privacy(at("planted")), Privacy::ForeignOwner);

    EXPECT_EQ(files->makePrivateFolder(at("planted")), Privacy::ForeignOwner);
    EXPECT_EQ(securityOf(dir.path() / "planted"), before);
}

TEST_F(PrivateFolderTest, aLinkIsNeverFollowed) {
    ASSERT_TRUE(::CreateDirectoryW((dir.path() / "elsewhere").c_str(), nullptr));
    // Wine says it made the link and makes nothing; without the right to make links Windows refuses.
    if (!::CreateSymbolicLinkW((dir.path() / "link").c_str(), (dir.path() / "elsewhere").c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        ::GetFileAttributesW((dir.path() / "link").c_str()) == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "this system makes no symbolic links here";
    }
    EXPECT_EQ(files->privacy(at("link")), Privacy::Link);
    EXPECT_EQ(files->makePrivateFolder(at("link")), Privacy::Link);
    EXPECT_FALSE(files->appendDurably(at("link\\..\\link"), "x\n"));
}

// The decision itself, on descriptors as Windows keeps them: Wine keeps no such descriptors on its files, but
// evaluates them as Windows does.
TEST(PrivacyOfSecurity, trustsOnlyTheSystemTheAdministratorsAndTheUserAsOwnerAndWriter) {
    struct Case {
        const wchar_t* sddl;
        Privacy expected;
    };
    const Case cases[] = {
        {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)(A;OICI;0x1200a9;;;BU)", Privacy::Private},
        {L"O:SYD:P(A;;FA;;;SY)(A;;FR;;;WD)", Privacy::Private},
        // ProgramData's own list, inherited by a folder made there without one of its own: users may add.
        {L"O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;CI;0x116;;;BU)", Privacy::OthersMayWrite},
        {L"O:BAD:(A;;FA;;;SY)(A;;FW;;;AU)", Privacy::OthersMayWrite},
        {L"O:BAD:(A;;WD;;;BU)", Privacy::OthersMayWrite},
        // An entry that only passes down to what is made inside is judged there.
        {L"O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;CO)", Privacy::Private},
        // A user who made the folder first owns it.
        {L"O:BGD:P(A;;FA;;;SY)(A;;FA;;;BA)", Privacy::ForeignOwner},
        {L"O:BA", Privacy::OthersMayWrite},
    };
    for (const Case& each : cases) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(each.sddl, SDDL_REVISION_1,
                                                                           &descriptor, nullptr));
        EXPECT_EQ(win32::privacyOfSecurity(descriptor), each.expected)
            << std::string(each.sddl, each.sddl + std::wcslen(each.sddl));
        ::LocalFree(descriptor);
    }
}

TEST(RunLockTest, aSecondHolderWaitsForTheFirstToLetGo) {
    const auto first = makeRunLock();
    ASSERT_TRUE(first->tryAcquire());
    // Another process, as far as the lock can tell: a thread of its own with a lock of its own.
    bool secondGotIt = true;
    std::thread([&] {
        const auto second = makeRunLock();
        secondGotIt = second->tryAcquire();
    }).join();
    EXPECT_FALSE(secondGotIt);

    first->release();
    std::thread([&] {
        const auto second = makeRunLock();
        secondGotIt = second->tryAcquire();
        second->release();
    }).join();
    EXPECT_TRUE(secondGotIt);
}

} // namespace
} // namespace hotfix
