#pragma once

#include "platform/folder_browser.hpp"
#include "platform/posix/posix_path_resolver.hpp"

namespace hotfix::posix {

// The prefix's drives and folders for the folder picker. Hidden folders (a leading ".", as Wine marks
// them) are not offered.
class PosixFolderBrowser final : public FolderBrowser {
public:
    explicit PosixFolderBrowser(WinePrefix prefix);

    std::vector<Drive> drives() override;
    std::optional<DriveError> checkDrive(char letter) override;
    std::vector<std::string> subfolders(const std::string& folder) override;
    std::string currentFolder() override;

private:
    PosixPathResolver m_paths;
};

} // namespace hotfix::posix
