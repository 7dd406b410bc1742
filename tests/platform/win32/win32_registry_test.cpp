#include "platform/ascii.hpp"
#include "platform/platform_services.hpp"
#include "platform/reg_module.hpp"
#include "platform/win32/win32_registry.hpp"
#include "platform/win32/win32_test_tools.hpp"

#include <fstream>
#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

using RegModule::ReadRegValue;

constexpr std::uint32_t kLocalMachine = RegistryApi::kLocalMachine;
constexpr std::wstring_view kTestKey = L"HKLM\\SOFTWARE\\HotFixInstallerTests";
constexpr std::string_view kReaderKey = "SOFTWARE\\HotFixInstallerTests\\Reader";

bool addValue(std::wstring_view key, std::wstring_view name, std::wstring_view type, std::wstring_view data,
              std::wstring_view view = L"/reg:32") {
    return test::reg(L"add \"" + std::wstring(key) + L"\" /v \"" + std::wstring(name) + L"\" /t " +
                     std::wstring(type) + L" /d \"" + std::wstring(data) + L"\" /f " + std::wstring(view));
}

// Values as Windows' own reg tool writes them, in the 32-bit view where the product family keeps its keys.
class RegistryReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const wchar_t* view : {L"/reg:32", L"/reg:64"}) {
            test::reg(L"delete \"" + std::wstring(kTestKey) + L"\" /f " + view);
        }
        const std::wstring reader = std::wstring(kTestKey) + L"\\Reader";
        ASSERT_TRUE(addValue(reader, L"WithZero", L"REG_SZ", L"C:\\WINNT"));
        ASSERT_TRUE(addValue(reader, L"Empty", L"REG_SZ", L""));
        ASSERT_TRUE(addValue(reader, L"Exactly1024", L"REG_SZ", std::wstring(1023, L'a')));
        ASSERT_TRUE(addValue(reader, L"Over1024", L"REG_SZ", std::wstring(1024, L'a')));
        ASSERT_TRUE(addValue(reader, L"Number", L"REG_DWORD", L"0x12345678"));
        ASSERT_TRUE(addValue(reader, L"Small", L"REG_DWORD", L"5"));
        ASSERT_TRUE(addValue(reader, L"Expandable", L"REG_EXPAND_SZ", L"%SystemRoot%\\system32"));
        ASSERT_TRUE(addValue(reader, L"Accented", L"REG_SZ", L"C:\\Caf\u00E9"));
        ASSERT_TRUE(addValue(reader, L"AccentedFits", L"REG_SZ", std::wstring(1022, L'a') + L"\u00E9"));

        // reg add always stores the closing zero; an import can leave it out.
        const std::filesystem::path file = std::filesystem::temp_directory_path() / "hotfix-no-zero.reg";
        {
            // Version 5 files are UTF-16; the data of hex(1) is the value's UTF-16 bytes.
            const std::u16string text =
                u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\HotFixInstallerTests\\Reader]\r\n"
                u"\"WithoutZero\"=hex(1):43,00,3a,00,5c,00,57,00,49,00,4e,00,4e,00,54,00\r\n"
                u"\"WithJunk\"=hex(1):43,00,3a,00,00,00,6a,00,75,00,6e,00,6b,00,00,00\r\n";
            std::ofstream out(file, std::ios::binary);
            out.write(reinterpret_cast<const char*>(text.data()),
                      static_cast<std::streamsize>(text.size() * sizeof(char16_t)));
        }
        ASSERT_TRUE(test::reg(L"import \"" + file.wstring() + L"\" /reg:32"));
        std::filesystem::remove(file);

        const std::wstring views = std::wstring(kTestKey) + L"\\Views";
        ASSERT_TRUE(addValue(views, L"Where", L"REG_SZ", L"32-bit view"));
        ASSERT_TRUE(addValue(views, L"Where", L"REG_SZ", L"64-bit view", L"/reg:64"));
        ASSERT_TRUE(addValue(views, L"Only32", L"REG_SZ", L"32-bit view"));
        ASSERT_TRUE(addValue(views, L"Only64", L"REG_SZ", L"64-bit view", L"/reg:64"));
        ASSERT_TRUE(
            addValue(std::wstring(kTestKey) + L"\\Only64", L"Where", L"REG_SZ", L"64-bit view", L"/reg:64"));
    }

    std::string read(std::string_view name, std::string_view key = kReaderKey) {
        std::string text = "unchanged";
        found = ReadRegValue(*registry, kLocalMachine, key, name, text);
        return text;
    }

    std::unique_ptr<RegistryApi> registry = makeRegistry();
    bool found = false;
};

TEST_F(RegistryReaderTest, textEndsAtItsFirstZero) {
    EXPECT_EQ(read("WithZero"), "C:\\WINNT");
    EXPECT_TRUE(found);
    EXPECT_EQ(read("WithoutZero"), "C:\\WINNT");
    EXPECT_TRUE(found);
    EXPECT_EQ(read("Empty"), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(read("WithJunk"), "C:");
    EXPECT_TRUE(found);
}

TEST_F(RegistryReaderTest, bufferHoldsExactly1024Bytes) {
    EXPECT_EQ(read("Exactly1024"), std::string(1023, 'a'));
    EXPECT_TRUE(found);
    EXPECT_EQ(read("Over1024"), "unchanged");
    EXPECT_FALSE(found);
}

TEST_F(RegistryReaderTest, numbersBecomeHexadecimalAndOtherTypesAreLeftAlone) {
    EXPECT_EQ(read("Number"), "&h12345678");
    EXPECT_EQ(read("Small"), "&h000005");
    EXPECT_EQ(read("Expandable"), "unchanged");
    EXPECT_TRUE(found);
}

TEST_F(RegistryReaderTest, missingKeyOrValueLeavesTheTextAlone) {
    EXPECT_EQ(read("Missing"), "unchanged");
    EXPECT_FALSE(found);
    EXPECT_EQ(read("WithZero", "SOFTWARE\\HotFixInstallerTests\\NoSuchKey"), "unchanged");
    EXPECT_FALSE(found);
}

TEST_F(RegistryReaderTest, textComesFromTheAnsiCodePage) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "ANSI code page " << ::GetACP();
    }
    EXPECT_EQ(read("Accented"), "C:\\Caf\xC3\xA9");
    // 1023 characters are 1024 bytes in the code page with the closing zero, though more in UTF-8.
    EXPECT_EQ(read("AccentedFits"), std::string(1022, 'a') + "\xC3\xA9");
    EXPECT_TRUE(found);
}

TEST_F(RegistryReaderTest, the32BitViewComesFirstAndThe64BitOneServesWhatItLacks) {
    constexpr std::string_view kViews = "SOFTWARE\\HotFixInstallerTests\\Views";
    EXPECT_EQ(read("Where", kViews), "32-bit view");
    EXPECT_EQ(read("Only32", kViews), "32-bit view");
    // The key exists in both views, the value only in the 64-bit one.
    EXPECT_EQ(read("Only64", kViews), "64-bit view");
    EXPECT_TRUE(found);
    EXPECT_EQ(read("Where", "SOFTWARE\\HotFixInstallerTests\\Only64"), "64-bit view");
    EXPECT_TRUE(found);
}

TEST_F(RegistryReaderTest, theWindowsRootOfAFreshPrefixIsFound) {
    // wineboot makes a 32-bit CurrentVersion that holds subkeys but none of the 64-bit key's values.
    constexpr std::string_view kCurrentVersion = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    HKEY view32 = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                              KEY_READ | KEY_WOW64_32KEY, &view32),
              ERROR_SUCCESS);
    const LONG inView32 = ::RegQueryValueExW(view32, L"SystemRoot", nullptr, nullptr, nullptr, nullptr);
    ::RegCloseKey(view32);
    if (inView32 == ERROR_SUCCESS) {
        GTEST_SKIP() << "this Windows keeps SystemRoot in the 32-bit view too";
    }
    const std::string root = read("SystemRoot", kCurrentVersion);
    EXPECT_TRUE(found);
    EXPECT_EQ(asciiLowered(root), "c:\\windows");
}

TEST_F(RegistryReaderTest, keysAreOpenedForReadingOnly) {
    // Even asked for the old write rights, neither view's key that comes back can be written through.
    win32::Win32Registry direct;
    RegistryApi::Key key{};
    ASSERT_EQ(direct.openKey(kLocalMachine, "SOFTWARE\\HotFixInstallerTests\\Views", 0x2003F, key),
              RegistryApi::kSuccess);
    const auto views = direct.views(key);
    ASSERT_NE(views.view32, 0u);
    ASSERT_NE(views.view64, 0u);
    for (const RegistryApi::Key view : {views.view32, views.view64}) {
        const auto handle = reinterpret_cast<HKEY>(view); // NOLINT(performance-no-int-to-ptr)
        const DWORD data = 1;
        EXPECT_EQ(::RegSetValueExW(handle, L"Written", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                   sizeof(data)),
                  ERROR_ACCESS_DENIED);
    }
    direct.closeKey(key);
}

} // namespace
} // namespace hotfix
