#include <string_view>
#include <windows.h>

#include <gtest/gtest.h>

namespace hotfix {
namespace {

std::string_view resourceText(LPCWSTR name, LPCWSTR type) {
    const HRSRC found = ::FindResourceW(nullptr, name, type);
    if (found == nullptr) {
        return {};
    }
    const HGLOBAL loaded = ::LoadResource(nullptr, found);
    return {static_cast<const char*>(::LockResource(loaded)), ::SizeofResource(nullptr, found)};
}

// The program's resources are linked into this executable too, so that they are known to build and load.
TEST(Win32Resources, manifestAsksForAdministratorsAndTheCommonControls) {
    const std::string_view manifest = resourceText(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"requireAdministrator\""),
              std::string_view::npos);
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string_view::npos);
}

TEST(Win32Resources, iconLoadsInItsSizes) {
    for (const int size : {16, 32}) {
        const auto icon = static_cast<HICON>(
            ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
        EXPECT_NE(icon, nullptr) << size;
        ::DestroyIcon(icon);
    }
}

TEST(Win32Resources, versionNamesTheProgram) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const DWORD size = ::GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, data.data()));
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904B0\\ProductName", &value, &length));
    EXPECT_EQ(std::wstring_view(static_cast<const wchar_t*>(value)), L"HotFix Installer");
}

} // namespace
} // namespace hotfix
