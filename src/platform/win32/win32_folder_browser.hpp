#pragma once

#include "platform/folder_browser.hpp"
#include "platform/win32/win32_path_resolver.hpp"

namespace hotfix::win32 {

// The logical drives and their folders, for the folder picker.
class Win32FolderBrowser final : public FolderBrowser {
public:
    std::vector<Drive> drives() override;
    std::optional<DriveError> checkDrive(char letter) override;
    // Hidden system folders (the recycle bin, System Volume Information) are left out, as Explorer leaves
    // them out; the rest in Explorer's order.
    std::vector<std::string> subfolders(const std::string& folder) override;
    std::string currentFolder() override;

private:
    Win32PathResolver m_paths{SystemFolders{}};
};

} // namespace hotfix::win32
