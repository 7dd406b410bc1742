#pragma once

#include <optional>
#include <string>
#include <vector>

namespace hotfix {

struct Drive {
    char letter = 'C'; // upper case
    std::string root;  // "C:\"
    friend bool operator==(const Drive&, const Drive&) = default;
};

// Why a drive cannot be opened, as the classic drive list reported it.
struct DriveError {
    int number = 0;
    std::string description;
};

// The error of a drive that has no medium, and the runtime's standard text for it.
inline constexpr int kDeviceUnavailable = 68;
inline constexpr const char* kDeviceUnavailableText = "Device unavailable";

// Drives and folders for the folder picker, named Windows-style ("C:\", "C:\Program Files").
class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;

    virtual std::vector<Drive> drives() = 0;
    // Nothing when the drive can be used; the error otherwise.
    virtual std::optional<DriveError> checkDrive(char letter) = 0;
    // Names of the subfolders of a folder, sorted as the platform sorts them for display.
    virtual std::vector<std::string> subfolders(const std::string& folder) = 0;
    // The process's current folder, with its drive; a drive's root ends in "\".
    virtual std::string currentFolder() = 0;
};

} // namespace hotfix
