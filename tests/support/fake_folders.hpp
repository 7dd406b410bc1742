#pragma once

#include "platform/folder_browser.hpp"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace hotfix::test {

// A machine's drives and folders as the folder picker sees them: drive C: with nothing below it unless the
// test says otherwise. Drives named in failing report their error when checked; checks are counted.
class FakeFolders final : public FolderBrowser {
public:
    std::vector<Drive> drives() override { return driveList; }
    std::optional<DriveError> checkDrive(char letter) override {
        ++checks;
        const auto failed = failing.find(letter);
        return failed == failing.end() ? std::nullopt : std::optional<DriveError>(failed->second);
    }
    std::vector<std::string> subfolders(const std::string& folder) override {
        const auto found = tree.find(folder);
        return found == tree.end() ? std::vector<std::string>{} : found->second;
    }
    std::string currentFolder() override { return current; }

    std::vector<Drive> driveList{{'C', "C:\\"}};
    std::map<char, DriveError> failing;
    std::map<std::string, std::vector<std::string>> tree;
    std::string current = "C:\\";
    int checks = 0;
};

} // namespace hotfix::test
